#include "app/run_lock.h"

#include <windows.h>

#include <string>

#include "app/command_line.h"
#include "app/run_options.h"
#include "app/startup_messages.h"
#include "app/tell_user.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace app {
namespace {

support::UniqueHandle& held_lock() {
    static support::UniqueHandle lock;
    return lock;
}

// The machine-wide namespace first (a run in another user's session
// counts); where this process may not create objects there, its session's.
HANDLE create_lock(const std::wstring& name) {
    for (const wchar_t* space : {L"Global\\", L"Local\\"}) {
        const HANDLE lock = CreateMutexW(nullptr, FALSE, (space + name).c_str());
        if (lock != nullptr) return lock;
        if (GetLastError() != ERROR_ACCESS_DENIED) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool take_run_lock(const wchar_t* product_name) {
    const std::wstring name = support::to_wide(run_lock_name(support::to_u16(product_name)));
    support::UniqueHandle lock(create_lock(name));
    if (!lock) return true;
    const DWORD waited = WaitForSingleObject(lock.get(), 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        held_lock() = std::move(lock);
        return true;
    }
    run_log().failure(kAlreadyRunningText, 0);
    set_exit_code(kExitAlreadyRunning);
    if (run_options().silent) tell_user(kAlreadyRunningText, Stream::error, kStartupErrorCaption, false);
    else MessageBoxW(nullptr, kAlreadyRunningText, kStartupErrorCaption, MB_OK | MB_ICONWARNING);
    return false;
}

}  // namespace app
