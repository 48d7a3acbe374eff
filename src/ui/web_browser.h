#pragma once
// CExplorer1: the system's web-browser control (CLSID_WebBrowser,
// {8856F961-340A-11D0-A96B-00C04FD705A2}) hosted in a window of ours
// through a minimal in-place container, and its one operation the wizard
// uses: navigate.
//
// Where the control can't be made (the component isn't registered, or the
// system's HTML engine is missing) the host window simply stays empty.
// Needs OLE on the calling thread (the dialog thread has it).
//
// The control runs inside this elevated process, so it shows what it was
// told to open and nothing else: every later navigation (a link, a
// script, a frame) and every new window is cancelled, and an http, https
// or mailto address among them goes to the user's own browser or mail
// program outside this process (app::open_as_signed_in_user).

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include "support/com_ref.h"

namespace ui {

class BrowserSite;
class BrowserEvents;

// Where a refused address goes (an http, https or mailto address the page
// led to). The installer hands it to the signed-in user's program.
using ExternalOpener = bool (*)(const wchar_t* address);

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
    // Opens `address` (a file path or a URL), the one navigation the
    // control is let make. False when there is no control or it refuses
    // the address.
    bool navigate(const wchar_t* address);
    // Where refused links go; app::open_as_signed_in_user unless changed.
    void set_external_opener(ExternalOpener opener) noexcept;
    // The control's event sink (DWebBrowserEvents2), for tests.
    IDispatch* events() const noexcept;
    // Deactivates and releases the control; call before the host goes.
    void destroy() noexcept;

private:
    support::ComRef<IOleObject> object_;
    support::ComRef<IWebBrowser2> browser_;
    BrowserSite* site_ = nullptr;      // counted reference
    BrowserEvents* events_ = nullptr;  // counted reference
    DWORD events_cookie_ = 0;
};

}  // namespace ui
