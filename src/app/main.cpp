#include <windows.h>

#include "app/startup.h"
#include "support/fatal_error.h"

// The installer's entry point: the application object's start-up is the
// whole program. A fatal error of the support library's buffers (out of
// memory, an unterminated text), on any thread, ends the program with its
// message in a box.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    support::install_fatal_error_handler();
    app::CZZ_Install_BaseApp application;
    application.InitInstance(arguments != nullptr ? arguments : L"");
    return 0;
}
