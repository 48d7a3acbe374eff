#include "app/startup.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdlib>
#include <string>

#include "app/background_unpack.h"
#include "app/command_line.h"
#include "app/folders.h"
#include "app/mode_entries.h"
#include "app/parse_command_line.h"
#include "app/process_records.h"
#include "app/protected_folders.h"
#include "app/run_lock.h"
#include "app/run_log_file.h"
#include "app/run_options.h"
#include "app/startup_messages.h"
#include "app/tell_user.h"
#include "app/workspace.h"
#include "package/cabinet_slot.h"
#include "package/mapfile.h"
#include "support/format_bounded.h"
#include "support/wide.h"

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

// The argument string as the user gave it, for the log's start line.
std::wstring g_arguments;

// Nothing could be done (the package or its install information can't be
// read): a failed run, said in the box (or, silent, on the console and in
// the log).
void show_startup_error() {
    run_log().failure(kStartupErrorText, 0);
    set_exit_code(kExitFailed);
    if (run_options().silent) tell_user(kStartupErrorText, Stream::error, kStartupErrorCaption, false);
    else MessageBoxW(nullptr, kStartupErrorText, kStartupErrorCaption, MB_OK | MB_ICONERROR);
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

// The install mode: the package cut out, its install information
// extracted and read, then the wizard, while the rest of the package is
// extracted behind it (the wizard's install button waits for it). False
// when there is nothing to show a wizard for, or the extraction failed.
bool run_install_mode(ProcessRecords& records) {
    BackgroundUnpack unpack(records.run());
    if (!prepare_package(records.run()) || !unpack.start() || !unpack.wait_for_install_info() ||
        !read_install_info(records.run(), records.info()) || g_entries.install == nullptr) {
        // No product to name the log after.
        open_run_log(L"", kModeInstall, g_arguments.c_str());
        return false;
    }
    const wchar_t* product = support::as_wide(records.info().ime_name);
    open_run_log(product, kModeInstall, g_arguments.c_str());
    // Another run of this product's installer is going: this one ends
    // (1618) without touching anything, its extraction stopped.
    const bool locked = take_run_lock(product);
    // A run without a window installs only once every file is out.
    if (locked && run_options().silent && !unpack.wait()) return false;
    if (locked) {
        // A run of the product that was killed (or lost its power) is
        // undone before anything else of the product is touched.
        if (g_entries.recover != nullptr) g_entries.recover(product, run_log());
        g_entries.install();
    }
    // A wizard closed before the end stops the extraction; one that ended
    // it on a failure has closed itself for the error below.
    unpack.abort();
    unpack.wait();
    return unpack.state() != BackgroundUnpack::State::failed;
}

// The one modal dialog of the mode the command line chose. A mode
// naming a product that isn't installed shows nothing.
void dispatch(ProcessRecords& records) {
    const CommandRecord& command = records.command();
    const int mode = records.run().mode;
    if (mode != kModeInstall) {
        open_run_log(command.product_name, mode, g_arguments.c_str());
        if (!take_run_lock(command.product_name)) return;
    }
    if ((mode == kModeUninstall || mode == kModeRepair || mode == kModeUpdate) && command.install_dir[0] == L'\0') {
        report_not_installed(command);
        return;
    }
    // A run of the product that was killed (or lost its power) is undone
    // before anything else of the product is touched.
    if ((mode == kModeUninstall || mode == kModeRepair) && g_entries.recover != nullptr)
        g_entries.recover(command.product_name, run_log());
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

// The switches of a run without a person into the run's options. False when
// the run ends here: the help was asked for (exit code 0), or a switch
// can't be read (kExitBadSwitches, with a line naming it).
bool take_switches(const RunSwitches& switches) {
    RunOptions& options = mutable_run_options();
    options.silent = switches.silent;
    if (!switches.bad.empty()) {
        wchar_t line[kPathUnits + 64];
        support::format_slot(line, kBadSwitchFormat, support::to_wide(switches.bad).c_str());
        tell_user(line, Stream::error, kStartupErrorCaption, !switches.silent);
        set_exit_code(kExitBadSwitches);
        return false;
    }
    if (switches.help) {
        tell_user(kHelpText, Stream::output, kHelpCaption, true);
        return false;
    }
    options.accept_licence = switches.accept_licence;
    options.end_holders = switches.end_holders;
    options.log_path = support::to_wide(switches.log_path);
    options.install_dir = support::to_wide(switches.install_dir);
    options.owner = support::to_wide(switches.owner);
    options.company = support::to_wide(switches.company);
    return true;
}

}  // namespace

void set_mode_entries(const ModeEntries& entries) noexcept { g_entries = entries; }

int CZZ_Install_BaseApp::InitInstance(const wchar_t* arguments) {
    // The extraction's thread slot exists before any thread does.
    Cabinet::InitThreadSlot();

    // The three process-wide records, zero-filled, live until this returns.
    ProcessRecords records;
    fill_run_context(records.run());

    // The switches are read by both processes: the first one answers a
    // help request or a bad switch without starting anything.
    g_arguments = arguments;
    const RunSwitches switches = scan_switches(support::to_u16(arguments));
    if (!take_switches(switches)) return TRUE;

    // The first process makes the private workspace, starts its copy
    // there, waits for it and ends here with its exit code (the product's
    // own uninstaller ends at once: its copy removes its very file).
    if (relaunch_from_temp(records.run(), arguments) == Relaunch::Stop) return TRUE;
    // The rest of the program reads the argument string with the switches
    // blanked out: their values are no mode, name or "file=" path.
    support::copy_slot(records.run().command_line, support::to_wide(switches.rest).c_str());

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
    // A mode that ended early without a code of its own failed.
    set_exit_code(kExitFailed);
    close_run_log(exit_code());
    std::exit(exit_code());
}

}  // namespace app
