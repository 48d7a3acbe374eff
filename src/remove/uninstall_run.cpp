#include "remove/uninstall_run.h"

#include "app/process_records.h"
#include "remove/layout_cleanup.h"
#include "remove/uninstall_steps.h"

namespace removal {

namespace {

// The reporter of a record made without one.
support::NullReport g_nobody;

struct Posting {
    int percent;
    const wchar_t* text;
};

// The seven rows, in the order they are posted: a start row, the six
// numbered steps (posted before their work), and the last one.
constexpr Posting kStart = {0, L"开始卸载..."};
constexpr Posting kInterface = {5, L"  1.卸载输入接口..."};
constexpr Posting kFiles = {20, L"  2.删除文件系统..."};
constexpr Posting kShortcuts = {40, L"  3.删除快捷方式..."};
constexpr Posting kRegistry = {60, L"  4.删除注册表信息..."};
constexpr Posting kLayout = {80, L"  5.卸载输入法..."};
constexpr Posting kDone = {100, L"  6.卸载完成."};

void post(UninstallRun& run, const Posting& posting) { post_uninstall_step(run, posting.percent, posting.text); }

// Passes every report on to the run's reporter and notes in the record a
// deletion left for the restart.
class RestartWatch final : public support::RunReport {
public:
    explicit RestartWatch(UninstallRun& run) : run_(run), next_(*run.report) {}
    void row(const wchar_t* text) override { next_.row(text); }
    void progress(int position) override { next_.progress(position); }
    void failure(const wchar_t* what, unsigned long error) override { next_.failure(what, error); }
    void touched(support::Touch kind, const wchar_t* what) override {
        if (kind == support::Touch::file_staged) run_.restart_needed = 1;
        next_.touched(kind, what);
    }

private:
    UninstallRun& run_;
    support::RunReport& next_;
};

}  // namespace

UninstallRun make_uninstall_run(support::RunReport* report, app::CommandRecord* command, app::RunContext* context) {
    UninstallRun run;
    run.report = report != nullptr ? report : &g_nobody;
    run.context = context != nullptr ? context : app::run_context();
    run.command = command != nullptr ? command : app::command_record();
    return run;
}

void post_uninstall_step(UninstallRun& run, int percent, const wchar_t* text) {
    run.percent = percent;
    support::RunReport& report = run.report != nullptr ? *run.report : g_nobody;
    report.progress(percent);
    report.row(text);
}

int run_uninstall(UninstallRun& run) {
    if (run.report == nullptr) run.report = &g_nobody;
    RestartWatch watch(run);
    const app::CommandRecord* command = run.command;
    post(run, kStart);
    post(run, kInterface);
    if (command != nullptr) notify_interface_library(command->install_dir);
    post(run, kFiles);
    if (command != nullptr) {
        // What stayed in the install folder, and why, in a row of its own.
        wchar_t left[520];
        remove_installed_files(command->install_dir, command->product_name, left, &watch);
        if (left[0] != L'\0') post_uninstall_step(run, kFiles.percent, left);
    }
    post(run, kShortcuts);
    if (command != nullptr) remove_shortcuts(command->display_name, &watch);
    post(run, kRegistry);
    if (command != nullptr) remove_registry_keys(command->product_name, &watch);
    post(run, kLayout);
    if (command != nullptr) clean_up_ime_layout(command->product_name, &watch);
    post(run, kDone);
    return 1;
}

}  // namespace removal
