#include "ime_holder_process.h"

#include "dialog_helpers.h"
#include "scratch.h"

namespace wintest {

ImeHolderProcess::ImeHolderProcess(const std::wstring& library, const std::wstring& scratch_folder) {
    const std::wstring ready = scratch_folder + L"\\" + unique_name(L"ready") + L".txt";
    std::wstring command =
        L"\"" + fixture_path(L"ime_holder.exe") + L"\" \"" + library + L"\" \"" + ready + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    pump_until([&] { return file_exists(ready) || !running(); });
}

ImeHolderProcess::~ImeHolderProcess() {
    if (running()) {
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool ImeHolderProcess::running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD ImeHolderProcess::exit_code() const {
    WaitForSingleObject(process_.get(), 5000);
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

}  // namespace wintest
