// The demo product's interface library, "ITF\Interface.dll". The
// uninstaller loads it and calls ZZInterfaceMessage(0, 7, 0, 0) before it
// removes the product (code 7: the product is being removed), so that the
// input method's own components can let go of what they hold.
//
// This stand-in writes one line per call, in UTF-8, to "ZZInterface.log":
//   ZZInterfaceMessage 0 7 0 0 pid=1234 exe=unstall.exe
// The folder is the one named by the environment variable
// ZZ_INTERFACE_LOG_DIR, or else the temporary folder. (Not the library's
// own folder: the uninstaller deletes that right after the call.)
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr int kCodeProductRemoved = 7;

struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

std::wstring log_path() {
    wchar_t folder[MAX_PATH] = L"";
    DWORD n = GetEnvironmentVariableW(L"ZZ_INTERFACE_LOG_DIR", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(folder, n);
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + L"ZZInterface.log";
}

std::wstring process_name() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path, n < MAX_PATH ? n : 0);
    const auto slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

std::string to_utf8(const std::wstring& text) {
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? static_cast<std::size_t>(bytes) : 0u, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

// Appends one line; FILE_APPEND_DATA keeps lines of several processes whole.
void record_call(int target, int code, int wparam, int lparam) {
    const std::wstring path = log_path();
    if (path.empty()) return;
    wchar_t line[MAX_PATH + 96];
    std::swprintf(line, sizeof line / sizeof line[0], L"ZZInterfaceMessage %d %d %d %d pid=%lu exe=%ls\r\n", target,
                  code, wparam, lparam, static_cast<unsigned long>(GetCurrentProcessId()), process_name().c_str());
    const std::string bytes = to_utf8(line);
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

extern "C" {

// A message to the input method's components: a target (0 = all of
// them), a code and two parameters, as 32-bit values under the C calling
// convention. Returns 1 when the code is one the components act on, else
// 0; every call is recorded either way.
int __cdecl ZZInterfaceMessage(int target, int code, int wparam, int lparam) {
    record_call(target, code, wparam, lparam);
    return code == kCodeProductRemoved ? 1 : 0;
}

}  // extern "C"
