#include "app/open_as_user.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "app/interpreter.h"
#include "app/private_folder.h"
#include "support/com_ref.h"
#include "support/system_folder.h"
#include "support/unique_handle.h"

namespace app {
namespace {

using support::ComRef;

// A BSTR or VARIANT that frees itself.
class Text {
public:
    explicit Text(const wchar_t* text) : value_(SysAllocString(text)) {}
    ~Text() { SysFreeString(value_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR get() const { return value_; }

private:
    BSTR value_;
};

// The desktop's shell: the folder view of the desktop window that
// Explorer runs, and through it the Explorer's own Shell object, whose
// ShellExecute starts programs from the Explorer process.
bool open_through_desktop_shell(const wchar_t* target) {
    ComRef<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.put())))
        return false;
    VARIANT none;
    VariantInit(&none);
    long window = 0;
    ComRef<IDispatch> desktop;
    if (windows->FindWindowSW(&none, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              reinterpret_cast<IDispatch**>(desktop.put())) != S_OK ||
        !desktop)
        return false;
    const auto services = desktop.query<IServiceProvider>(IID_IServiceProvider);
    ComRef<IShellBrowser> browser;
    if (!services || FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put())))
        return false;
    ComRef<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.put()))) || !view) return false;
    ComRef<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put())) || !background) return false;
    const auto folder_view = background.query<IShellFolderViewDual>(IID_IShellFolderViewDual);
    ComRef<IDispatch> application;
    if (!folder_view || FAILED(folder_view->get_Application(reinterpret_cast<IDispatch**>(application.put()))))
        return false;
    const auto shell = application.query<IShellDispatch2>(IID_IShellDispatch2);
    if (!shell) return false;
    const Text file(target);
    VARIANT empty;
    VariantInit(&empty);
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return file.get() != nullptr && SUCCEEDED(shell->ShellExecute(file.get(), empty, empty, empty, show));
}

// The token of the process behind the desktop's shell window (Explorer,
// running as the signed-in user without elevation), as a primary token.
support::UniqueHandle desktop_shell_token() {
    const HWND shell_window = GetShellWindow();
    DWORD process_id = 0;
    if (shell_window == nullptr || GetWindowThreadProcessId(shell_window, &process_id) == 0 || process_id == 0)
        return {};
    const support::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process) return {};
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &raw)) return {};
    const support::UniqueHandle token(raw);
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(token.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return {};
    return support::UniqueHandle(primary);
}

// The system's rundll32 opening `target` through the shell, started with
// the desktop shell's token.
bool open_with_desktop_token(const wchar_t* target) {
    if (!is_quotable_for_interpreter(target)) return false;
    const support::UniqueHandle token = desktop_shell_token();
    wchar_t rundll[MAX_PATH];
    if (!token || !support::system_file_path(L"rundll32.exe", rundll)) return false;
    std::wstring line = std::wstring(L"\"") + rundll + L"\" shell32.dll,ShellExec_RunDLL \"" + target + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessWithTokenW(token.get(), 0, rundll, line.data(), 0, nullptr, nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

}  // namespace

bool open_as_signed_in_user(const wchar_t* target) {
    if (target == nullptr || target[0] == L'\0') return false;
    if (!is_elevated()) {
        SHELLEXECUTEINFOW execute{};
        execute.cbSize = sizeof execute;
        // Wait until the shell has handed it over: callers may end soon.
        execute.fMask = SEE_MASK_NOASYNC;
        execute.lpFile = target;
        execute.nShow = SW_SHOWNORMAL;
        return ShellExecuteExW(&execute) != FALSE;
    }
    return open_through_desktop_shell(target) || open_with_desktop_token(target);
}

}  // namespace app
