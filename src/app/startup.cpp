#include "app/startup.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdlib>

#include "app/folders.h"
#include "app/mode_entries.h"
#include "app/parse_command_line.h"
#include "app/process_records.h"
#include "app/run_options.h"
#include "app/startup_messages.h"
#include "app/workspace.h"
#include "package/cabinet_slot.h"
#include "package/mapfile.h"
#include "support/format_bounded.h"

namespace app {
namespace {

constexpr wchar_t kInstallInfoFileName[] = L"InstallInfo.dif";

// Every class group of the first flag byte: list view, tree view, bars,
// tab, up-down, progress, hot key and animate.
constexpr DWORD kCommonControlClasses = 0xFF;

// The licence page hosts the web-browser control, an ActiveX control: its
// container needs OLE on this (the dialogs') thread, initialised as a
// single-threaded apartment, which OleInitialize gives. There is no
// framework here to register a hosting window class; the page's own
// container does what else it needs. Released when the dialog is gone.
class OleSession {
public:
    OleSession() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (initialised_) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

private:
    bool initialised_;
};

void init_common_controls() {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof classes;
    classes.dwICC = kCommonControlClasses;
    InitCommonControlsEx(&classes);
}

ModeEntries g_entries;

// The package couldn't be unpacked or brings no install information: the
// run fails, and says so in its dialog mode.
void show_startup_error() {
    app::run_log().failure(L"the package could not be unpacked", 0);
    app::set_exit_code(kExitFailed);
    if (!run_options().silent) MessageBoxW(nullptr, kStartupErrorText, kStartupErrorCaption, MB_OK | MB_ICONERROR);
}

// A mode for a product that isn't installed does nothing and ends with its
// own code.
void report_not_installed(const CommandRecord& command) {
    wchar_t what[kPathUnits];
    support::format_slot(what, L"%ls is not installed", command.product_name);
    run_log().failure(what, ERROR_UNKNOWN_PRODUCT);
    set_exit_code(kExitUnknownProduct);
}

// The running executable's path, and in the copy the workspace it runs
// from. The first process makes its workspace only when it relaunches.
void fill_run_context(RunContext& run) {
    const DWORD length = GetModuleFileNameW(nullptr, run.module_path, kPathUnits);
    // A path that didn't fit is no path of this executable.
    if (length == 0 || length >= kPathUnits) run.module_path[0] = L'\0';
    adopt_workspace(run);
}

// The install information that the package brings, into `info`. False
// when the file is missing or can't be opened. Every text slot ends in a
// NUL afterwards, whatever the file held.
bool read_install_info(const RunContext& run, package::InstallInfo& info) {
    wchar_t path[kPathUnits];
    if (support::format_slot(path, L"%ls%ls", run.extract_dir, kInstallInfoFileName) != support::kStatusOk)
        return false;
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return false;
    package::CMXMapfile file;
    if (file.Open(path, false) == 0) return false;
    info = package::load_install_info({file.GetAddress(0), file.GetSize()});
    return true;
}

// The install mode: the package unpacked and its install information read,
// then the wizard. False when there is nothing to show a wizard for.
bool run_install_mode(ProcessRecords& records) {
    if (!prepare_package(records.run()) || !unpack_package(records.run())) return false;
    if (!read_install_info(records.run(), records.info()) || g_entries.install == nullptr) return false;
    g_entries.install();
    return true;
}

// The one modal dialog of the mode the command line chose. A mode
// naming a product that isn't installed shows nothing.
void dispatch(ProcessRecords& records) {
    const CommandRecord& command = records.command();
    const int mode = records.run().mode;
    if ((mode == kModeUninstall || mode == kModeRepair || mode == kModeUpdate) && command.install_dir[0] == L'\0') {
        report_not_installed(command);
        return;
    }
    switch (mode) {
    case kModeUninstall:
        if (g_entries.uninstall != nullptr) g_entries.uninstall();
        return;
    case kModeRepair:
        if (g_entries.repair != nullptr) g_entries.repair();
        return;
    case kModeUpdate:
        if (g_entries.update != nullptr) g_entries.update(command.product_name);
        return;
    default:
        if (!run_install_mode(records)) show_startup_error();
        return;
    }
}

}  // namespace

void set_mode_entries(const ModeEntries& entries) noexcept { g_entries = entries; }

int CZZ_Install_BaseApp::InitInstance(const wchar_t* arguments) {
    // The extraction's thread slot exists before any thread does.
    Cabinet::InitThreadSlot();

    // The three process-wide records, zero-filled, live until this returns.
    ProcessRecords records;
    fill_run_context(records.run());

    // The first process makes the private workspace, starts its copy
    // there and ends here.
    if (relaunch_from_temp(records.run(), arguments) == Relaunch::Stop) return TRUE;

    // The copy: the mode, the product and the path the user started.
    parse_command_line(records.run(), records.command());

    // Common controls and ActiveX hosting before any dialog.
    init_common_controls();
    const OleSession ole;

    dispatch(records);

    // Whatever the mode did: the workspace is emptied now, and the copy
    // deletes itself and the workspace once it has ended. Workspaces have
    // names of their own per run, so nothing left behind would ever be
    // reused or removed by a later start.
    remove_directory_tree(records.run().workspace_dir);
    schedule_self_delete();
    return TRUE;
}

void end_mode_unsuccessfully() {
    if (const RunContext* run = run_context(); run != nullptr) remove_directory_tree(run->workspace_dir);
    schedule_self_delete();
    std::exit(exit_code());
}

}  // namespace app
