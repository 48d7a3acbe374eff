#include "install/install_run.h"

#include "app/process_records.h"

namespace install {

namespace {

// The reporter of a record made without one.
support::NullReport g_nobody;

}  // namespace

InstallRun make_install_run(support::RunReport* report, const package::InstallInfo* info,
                            app::RunContext* context) {
    InstallRun run;
    run.report = report != nullptr ? report : &g_nobody;
    run.context = context != nullptr ? context : app::run_context();
    run.info = info;
    return run;
}

void post_progress(InstallRun& run, int position, const wchar_t* text) {
    support::RunReport& report = run.report != nullptr ? *run.report : g_nobody;
    if (position >= 0) {
        run.progress_position = position;
        report.progress(position);
    }
    if (text != nullptr) report.row(text);
}

void report_touched(InstallRun& run, support::Touch kind, const wchar_t* what) {
    if (run.report != nullptr) run.report->touched(kind, what);
}

std::wstring registry_text(HKEY root, const wchar_t* path, const wchar_t* value) {
    std::wstring text = root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKEY\\";
    text += path != nullptr ? path : L"";
    if (value != nullptr) {
        text += L'\\';
        text += value;
    }
    return text;
}

void report_failure(InstallRun& run, const wchar_t* what, unsigned long error) {
    if (run.report == nullptr) return;
    const DWORD last = GetLastError();
    run.report->failure(what != nullptr ? what : L"", error);
    SetLastError(last);
}

}  // namespace install
