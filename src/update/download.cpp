#include "update/download.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <optional>

#include "support/unique_handle.h"

namespace update {
namespace {

constexpr const wchar_t* kAgent = L"DidiZI/1.0";
constexpr DWORD kReadSize = 511;

std::atomic<std::int32_t> g_byte_total{0};

void close_internet(HINTERNET handle) noexcept {
    InternetCloseHandle(handle);
}
using UniqueInternet = support::UniqueOwner<HINTERNET, close_internet>;

// The status line's code must be exactly "200"; it is read into 10 bytes,
// which hold any three-digit code with its terminator.
bool status_is_ok(HINTERNET request) {
    wchar_t status[5] = {};
    DWORD size = sizeof status;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, status, &size, &index)) return false;
    status[4] = L'\0';
    return std::wcscmp(status, L"200") == 0;
}

// The body's length as the server announced it, if it did. WinINet ends a
// body that stops short of it like a complete one, so this is what shows a
// connection closed mid-body.
std::optional<std::uint64_t> announced_length(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof text[0];
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return std::nullopt;
    if (text[0] < L'0' || text[0] > L'9') return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text, &end, 10);
    if (end == nullptr || *end != L'\0') return std::nullopt;
    return value;
}

bool write_all(HANDLE file, const char* bytes, DWORD count) {
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

void report_progress(const UpdateHandlers& handlers, DWORD received) {
    if (handlers.progress == nullptr) return;
    // fetch_add wraps like a plain 32-bit counter.
    const std::int32_t total = g_byte_total.fetch_add(static_cast<std::int32_t>(received)) + static_cast<std::int32_t>(received);
    const UpdateNotice notice{nullptr, total};
    handlers.progress(&notice, handlers.user);
}

struct Transfer {
    bool whole = true;        // no read or write failed
    std::uint64_t bytes = 0;  // body bytes written
};

// Reads until the first read that yields nothing; a failed read yields
// nothing and marks the transfer broken, and so does a body growing past
// the limit.
Transfer receive_body(const UpdateHandlers& handlers, HINTERNET request, HANDLE file, std::uint64_t limit) {
    Transfer transfer;
    char buffer[kReadSize];
    for (;;) {
        DWORD received = 0;
        if (!InternetReadFile(request, buffer, kReadSize, &received)) {
            received = 0;
            transfer.whole = false;
        }
        if (received > 0 && !write_all(file, buffer, received)) {
            transfer.whole = false;
            return transfer;
        }
        transfer.bytes += received;
        if (transfer.bytes > limit) {
            transfer.whole = false;
            return transfer;
        }
        report_progress(handlers, received);
        if (received == 0) return transfer;
    }
}

}  // namespace

std::int32_t download_byte_total() noexcept {
    return g_byte_total.load();
}

int download_file(const UpdateHandlers& handlers, const wchar_t* address, const wchar_t* local_file,
                  std::uint64_t size_limit) {
    if (address == nullptr || local_file == nullptr) return 0;
    if (GetFileAttributesW(local_file) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(local_file)) return 0;

    UniqueInternet internet(InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return 0;
    UniqueInternet request(InternetOpenUrlW(internet.get(), address, nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request || !status_is_ok(request.get())) return 0;
    const std::optional<std::uint64_t> expected = announced_length(request.get());
    if (expected && *expected > size_limit) return 0;

    support::UniqueHandle file(
        CreateFileW(local_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    const Transfer transfer = receive_body(handlers, request.get(), file.get(), size_limit);
    file.reset();
    if (!transfer.whole || (expected && *expected != transfer.bytes)) {
        // Half a package or half a list is worse than none: nobody may take
        // it for the real thing.
        DeleteFileW(local_file);
        return 0;
    }
    return 1;
}

}  // namespace update
