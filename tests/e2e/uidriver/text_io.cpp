#include "text_io.h"

#include <windows.h>

#include <cstdio>

namespace uidriver {

std::string to_utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size, nullptr, nullptr);
    return result;
}

std::wstring from_utf8(std::string_view text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

namespace {

// A pipe or file (the usual case under the test harness) gets UTF-8 bytes;
// a real console gets UTF-16 through WriteConsoleW.
void write_to(DWORD which, std::wstring_view text) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = to_utf8(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void out(std::wstring_view text) { write_to(STD_OUTPUT_HANDLE, text); }

void out_line(std::wstring_view text) {
    std::wstring line(text);
    line += L'\n';
    write_to(STD_OUTPUT_HANDLE, line);
}

void err_line(std::wstring_view text) {
    std::wstring line(text);
    line += L'\n';
    write_to(STD_ERROR_HANDLE, line);
}

std::wstring hex_handle(const void* handle) {
    wchar_t buffer[32];
    swprintf(buffer, 32, L"0x%08llX",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return buffer;
}

}  // namespace uidriver
