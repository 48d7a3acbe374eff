#include <windows.h>

// The installer's entry point. Start-up, the command line and the mode
// dialogs are built up in app/; until they arrive the program starts and
// ends without touching anything.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
