#include <windows.h>

#include "app/run_log_file.h"
#include "app/run_options.h"
#include "app/startup.h"
#include "support/fatal_error.h"
#include "support/system_folder.h"
#include "ui/mode_entries.h"

// The installer's entry point: the application object's start-up is the
// whole program. Before anything else the DLL search is confined to the
// system folder: the libraries that aren't known DLLs are delay-loaded
// (cmake/delay_load.cmake) and resolve only from there, never from the
// folder the installer was started from. A fatal error of the support library's buffers (out of
// memory, an unterminated text), on any thread, ends the program with its
// message in a box. The program ends with the run's exit code, which is
// also the last line of the run's log.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    support::restrict_dll_search();
    support::install_fatal_error_handler();
    app::set_mode_entries(ui::mode_entries());
    app::CZZ_Install_BaseApp application;
    application.InitInstance(arguments != nullptr ? arguments : L"");
    app::close_run_log(app::exit_code());
    return app::exit_code();
}
