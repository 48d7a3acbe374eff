#pragma once
// The licence page (template 136), opened modally from the wizard's
// licence link: the web-browser control 1014 showing "License.html" of the
// extracted package, or that page inside the package's "main.chm". With
// neither file, or without the control, the page opens empty. It shows
// that licence only: links in it open in the user's own browser, outside
// this elevated process (see CExplorer1).

#include <string>

#include "ui/dialog.h"
#include "ui/web_browser.h"

namespace ui {

inline constexpr int kLicencePageTemplate = 136;
inline constexpr int kBrowserId = 1014;

class CZZ_Install_Licence : public Dialog {
public:
    CZZ_Install_Licence() noexcept : Dialog(kLicencePageTemplate) {}
    ~CZZ_Install_Licence() override { destroy(); }

    // What the page showed: the address it navigated to (empty: none).
    const std::wstring& address() const noexcept { return address_; }
    bool has_browser() const noexcept { return browser_.created(); }
    // The browser's event sink and where the links it refuses go (tests).
    IDispatch* browser_events() const noexcept { return browser_.events(); }
    void set_link_opener(ExternalOpener opener) noexcept { browser_.set_external_opener(opener); }

protected:
    BOOL on_init() override;
    void on_destroy() override { browser_.destroy(); }

private:
    CExplorer1 browser_;
    std::wstring address_;
};

// The address of the licence in `extract_dir` (which ends in a
// backslash): the path of "License.html" when that file exists, else the
// page inside "main.chm" when that exists, else empty.
std::wstring licence_address(const wchar_t* extract_dir);

}  // namespace ui
