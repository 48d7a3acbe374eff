#include "app/tell_user.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace app {
namespace {

// A handle that leads somewhere: a console, file or pipe.
bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool write_line(HANDLE handle, const wchar_t* text) {
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        const auto length = static_cast<DWORD>(std::wcslen(text));
        return WriteConsoleW(handle, text, length, &written, nullptr) && WriteConsoleW(handle, L"\r\n", 2, &written, nullptr);
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.back() = '\n';  // in place of the terminator
    DWORD written = 0;
    return WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
           written == utf8.size();
}

HANDLE duplicate_inheritable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (!usable(handle)) return nullptr;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

}  // namespace

bool tell_user(const wchar_t* text, Stream stream, const wchar_t* caption, bool box_allowed) {
    const DWORD which = stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    // Output sent to a file or pipe, or a console the program already has.
    if (const HANDLE handle = GetStdHandle(which); usable(handle) && write_line(handle, text)) return true;
    // Started from a console window: its own console, joined for this line.
    static bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (attached) {
        const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const bool written = write_line(console, text);
            CloseHandle(console);
            if (written) return true;
        }
    }
    if (!box_allowed) return false;
    MessageBoxW(nullptr, text, caption, MB_OK | (stream == Stream::error ? MB_ICONERROR : MB_ICONINFORMATION));
    return true;
}

StandardHandles inheritable_standard_handles() {
    StandardHandles handles;
    handles.output = duplicate_inheritable(STD_OUTPUT_HANDLE);
    handles.error = duplicate_inheritable(STD_ERROR_HANDLE);
    if (handles.any()) handles.input = duplicate_inheritable(STD_INPUT_HANDLE);
    return handles;
}

void close_standard_handles(StandardHandles& handles) {
    for (void** handle : {&handles.input, &handles.output, &handles.error}) {
        if (*handle != nullptr) CloseHandle(*handle);
        *handle = nullptr;
    }
}

}  // namespace app
