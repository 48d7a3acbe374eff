#include "update/download.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <iterator>
#include <string>
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

// One WinINet session for the process, made on the first download and
// kept until the process ends: opening one reads the system's connection
// settings, which cost as much as fetching a small package. Null while it
// can't be had (the next download tries again).
HINTERNET internet_session() {
    static std::atomic<HINTERNET> session{nullptr};
    HINTERNET current = session.load();
    if (current != nullptr) return current;
    HINTERNET made = InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (made == nullptr) return nullptr;
    // Two threads' first downloads at once: one session stays, the other goes.
    if (!session.compare_exchange_strong(current, made)) {
        InternetCloseHandle(made);
        return current;
    }
    return made;
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

// A body sent in chunks: its end can't be told from a connection closed
// between chunks (WinINet ends both alike), so such an answer is refused.
// Requests go out as HTTP/1.0, to which a server never answers in chunks.
bool is_chunked(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof text[0];
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_TRANSFER_ENCODING, text, &size, &index)) return false;
    return _wcsicmp(text, L"identity") != 0;
}

// GET `address` (http:// or https://) as HTTP/1.0; null when it can't be sent.
struct Request {
    UniqueInternet connection;
    UniqueInternet request;
};
bool open_request(HINTERNET internet, const wchar_t* address, Request& out) {
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = static_cast<DWORD>(std::size(path));
    parts.dwExtraInfoLength = 1;  // the query stays part of the path
    if (!InternetCrackUrlW(address, 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    std::wstring object(path, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";

    out.connection.reset(InternetConnectW(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!out.connection) return false;
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    out.request.reset(HttpOpenRequestW(out.connection.get(), L"GET", object.c_str(), L"HTTP/1.0", nullptr, nullptr,
                                       flags, 0));
    return out.request && HttpSendRequestW(out.request.get(), nullptr, 0, nullptr, 0);
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

    const HINTERNET internet = internet_session();
    if (internet == nullptr) return 0;
    Request opened;
    if (!open_request(internet, address, opened)) return 0;
    const HINTERNET request = opened.request.get();
    if (!status_is_ok(request) || is_chunked(request)) return 0;
    const std::optional<std::uint64_t> expected = announced_length(request);
    if (expected && *expected > size_limit) return 0;

    support::UniqueHandle file(
        CreateFileW(local_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    const Transfer transfer = receive_body(handlers, request, file.get(), size_limit);
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
