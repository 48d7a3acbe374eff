#pragma once
// CExplorer1: the system's web-browser control (CLSID_WebBrowser,
// {8856F961-340A-11D0-A96B-00C04FD705A2}) hosted in a window of ours
// through a minimal in-place container, and its one operation the wizard
// uses: navigate.
//
// Where the control can't be made (the component isn't registered, or the
// system's HTML engine is missing) the host window simply stays empty.
// Needs OLE on the calling thread (the dialog thread has it).

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include "support/com_ref.h"

namespace ui {

class BrowserSite;

class CExplorer1 {
public:
    CExplorer1() noexcept = default;
    ~CExplorer1() { destroy(); }
    CExplorer1(const CExplorer1&) = delete;
    CExplorer1& operator=(const CExplorer1&) = delete;

    // Creates the control in place, filling `host`'s client area. False,
    // with nothing left behind, when it can't be created or activated.
    bool create(HWND host);
    bool created() const noexcept { return static_cast<bool>(browser_); }
    // Opens `address` (a file path or a URL). False when there is no
    // control or it refuses the address.
    bool navigate(const wchar_t* address);
    // Deactivates and releases the control; call before the host goes.
    void destroy() noexcept;

private:
    support::ComRef<IOleObject> object_;
    support::ComRef<IWebBrowser2> browser_;
    BrowserSite* site_ = nullptr;  // counted reference
};

}  // namespace ui
