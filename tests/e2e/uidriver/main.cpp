// uidriver: drives the dialogs of another program from the command line,
// for end-to-end tests run under Wine. See tests/e2e/README.md.

#include "commands.h"
#include "driver_error.h"
#include "options.h"
#include "text_io.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

namespace {

// The command line in UTF-16 as the system has it: Chinese captions arrive
// whole, whatever the ANSI code page.
std::vector<std::wstring> command_line_words() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> result;
    if (words == nullptr) return result;
    for (int i = 0; i < count; ++i) result.emplace_back(words[i]);
    LocalFree(words);
    return result;
}

}  // namespace

int wmain(int, wchar_t**) {
    SetConsoleOutputCP(CP_UTF8);
    try {
        uidriver::run_command(uidriver::parse_options(command_line_words()));
        return uidriver::kExitOk;
    } catch (const uidriver::DriverError& error) {
        uidriver::err_line(L"uidriver: " + uidriver::from_utf8(error.what()));
        return error.code();
    } catch (const std::exception& error) {
        uidriver::err_line(L"uidriver: " + uidriver::from_utf8(error.what()));
        return uidriver::kExitFailed;
    }
}
