#pragma once
// The application object: its start-up operation is the whole program.

namespace app {

class CZZ_Install_BaseApp {
public:
    // Runs the program with `arguments`, the command line without the
    // program name: builds the process-wide records, makes sure it runs as
    // the copy in its private workspace (else makes one, starts the copy
    // there and ends), reads the command line, runs the one modal dialog of
    // the mode, then empties the workspace and has the copy delete itself
    // and the workspace once it has ended.
    // Always TRUE; failures are shown to the user on the way.
    int InitInstance(const wchar_t* arguments);
};

}  // namespace app
