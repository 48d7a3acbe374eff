#include "app/run_log_file.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "app/private_folder.h"
#include "app/records.h"
#include "app/run_options.h"
#include "app/startup_messages.h"
#include "app/tell_user.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace app {
namespace {

const wchar_t* mode_word(wchar_t mode) {
    switch (mode) {
    case kModeUninstall: return L"uninstall";
    case kModeRepair: return L"repair";
    case kModeUpdate: return L"update";
    default: return L"install";
    }
}

const wchar_t* touch_word(support::Touch kind) {
    using support::Touch;
    switch (kind) {
    case Touch::file_copied: return L"copied";
    case Touch::file_replaced: return L"replaced";
    case Touch::file_staged: return L"staged";
    case Touch::file_deleted: return L"deleted";
    case Touch::folder_created: return L"mkdir";
    case Touch::folder_deleted: return L"rmdir";
    case Touch::key_written: return L"key";
    case Touch::key_removed: return L"key-del";
    case Touch::value_written: return L"value";
    case Touch::value_removed: return L"value-del";
    case Touch::shortcut_created: return L"shortcut";
    case Touch::shortcut_removed: return L"shortcut-del";
    }
    return L"touched";
}

// The system's text for `error`, on one line; empty when it has none.
std::wstring error_text(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    if (buffer != nullptr) LocalFree(buffer);
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n') c = L' ';
    while (!text.empty() && text.back() == L' ') text.pop_back();
    return text;
}

// A product name as part of a file name: characters that a file name
// can't hold, and control characters, become "_".
std::wstring file_name_part(const wchar_t* product) {
    std::wstring part;
    for (const wchar_t* c = product; *c != L'\0' && part.size() < kNameUnits - 1; ++c)
        part.push_back(*c < 0x20 || std::wcschr(L"\\/:*?\"<>|", *c) != nullptr ? L'_' : *c);
    while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
    if (part.empty()) part = L"setup";
    return part;
}

class FileLog final : public support::RunReport {
public:
    explicit FileLog(support::UniqueHandle file) : file_(std::move(file)) {}

    void row(const wchar_t* text) override { line(L"row", text); }
    void progress(int) override {}
    void failure(const wchar_t* what, unsigned long error) override {
        std::wstring text = what != nullptr ? what : L"";
        if (error != 0) {
            text += L" (error " + std::to_wstring(error);
            const std::wstring system = error_text(error);
            if (!system.empty()) text += L": " + system;
            text += L")";
        }
        line(L"failed", text.c_str());
    }
    void touched(support::Touch kind, const wchar_t* what) override { line(touch_word(kind), what); }

    // "<local time>  <word padded to 8>  <text>", CRLF, one write.
    void line(const wchar_t* word, const wchar_t* text) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        wchar_t stamp[64];
        support::format_slot(stamp, L"%04u-%02u-%02u %02u:%02u:%02u.%03u  %-8ls ", now.wYear, now.wMonth, now.wDay,
                             now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, word);
        std::wstring whole = stamp;
        whole += text != nullptr ? text : L"";
        whole += L"\r\n";
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, whole.data(), static_cast<int>(whole.size()), nullptr, 0,
                                              nullptr, nullptr);
        if (bytes <= 0) return;
        std::string utf8(static_cast<std::size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, whole.data(), static_cast<int>(whole.size()), utf8.data(), bytes, nullptr,
                            nullptr);
        AcquireSRWLockExclusive(&lock_);
        DWORD written = 0;
        WriteFile(file_.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    support::UniqueHandle file_;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

FileLog* g_log = nullptr;
wchar_t g_path[kPathUnits] = {};

// The named log: created or opened for appending, never through a link
// (a reparse point at the path itself is refused).
support::UniqueHandle open_named(const wchar_t* path) {
    support::UniqueHandle file(CreateFileW(path, FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!file) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return {};
    }
    return file;
}

// A new file in the temporary folder, under a name nobody could guess.
support::UniqueHandle open_default(const wchar_t* product, wchar_t mode, wchar_t (&path)[kPathUnits]) {
    wchar_t temp[kPathUnits];
    const DWORD length = GetTempPathW(kPathUnits, temp);
    if (length == 0 || length >= kPathUnits) return {};
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t random[9];
    if (!random_hex(random, 8)) return {};
    if (support::format_slot(path, L"%ls%ls-%ls-%04u%02u%02u-%02u%02u%02u-%ls.log", temp,
                             file_name_part(product).c_str(), mode_word(mode), now.wYear, now.wMonth, now.wDay,
                             now.wHour, now.wMinute, now.wSecond, random) != support::kStatusOk) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return {};
    }
    return support::UniqueHandle(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

void open_run_log(const wchar_t* product, wchar_t mode, const wchar_t* arguments) {
    if (g_log != nullptr) return;
    const RunOptions& options = run_options();
    support::UniqueHandle file;
    if (!options.log_path.empty()) {
        support::copy_slot(g_path, options.log_path.c_str());
        file = open_named(options.log_path.c_str());
    } else {
        file = open_default(product != nullptr ? product : L"", mode, g_path);
    }
    if (!file) {
        const DWORD error = GetLastError();
        wchar_t line[kPathUnits + 160];
        support::format_slot(line, kLogNotWrittenFormat, options.log_path.empty() ? g_path : options.log_path.c_str(),
                             static_cast<unsigned>(error));
        g_path[0] = L'\0';
        tell_user(line, Stream::error, kStartupErrorCaption, !options.silent);
        return;
    }
    g_log = new FileLog(std::move(file));
    set_run_log(g_log);
    std::wstring start = mode_word(mode);
    start += L" \"";
    start += product != nullptr ? product : L"";
    start += L"\"";
    if (options.silent) start += L" (silent)";
    start += L", arguments: ";
    start += arguments != nullptr ? arguments : L"";
    g_log->line(L"start", start.c_str());
}

const wchar_t* run_log_path() { return g_log != nullptr ? g_path : L""; }

void close_run_log(int exit_code) {
    if (g_log == nullptr) return;
    g_log->line(L"exit", std::to_wstring(exit_code).c_str());
    set_run_log(nullptr);
    delete g_log;
    g_log = nullptr;
}

}  // namespace app
