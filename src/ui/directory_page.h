#pragma once
// The wizard's directory page (template 130): the install directory in
// edit 1022 and the browse button 1005. A first install proposes the
// product's folder below Program Files; on a machine where the product is
// registered the page shows the registered directory and keeps it.

#include <cstddef>

#include "ui/dialog.h"
#include "ui/wizard_buffers.h"

namespace ui {

inline constexpr int kDirectoryPageTemplate = 130;
inline constexpr int kDirectoryEditId = 1022;
inline constexpr int kBrowseButtonId = 1005;

class CZZ_Install_SelectDir : public Page {
public:
    CZZ_Install_SelectDir() noexcept : Page(kDirectoryPageTemplate) {}

    // True when the product is registered: the edit is disabled and
    // browsing only says why.
    bool locked() const noexcept { return locked_; }

    // Button 1005: the folder browser; the chosen folder extended by the
    // product's subfolder goes to the edit.
    void browse();

protected:
    BOOL on_init() override;
    bool on_command(int id, int code, HWND control) override;

private:
    bool locked_ = false;
};

// Appends a backslash to `directory` unless it ends in one, then
// `ime_name` and a backslash, cut to the slot: "C:\" gives "C:\<name>\".
void append_product_folder(wchar_t (&directory)[kDirectoryUnits], const wchar_t* ime_name);

// The product's registered install directory ("ZMEInstallPath" of
// HKEY_LOCAL_MACHINE "Software\marlix\<ime_name>"). False, with
// `directory` unchanged, when the key or a non-empty value that fits the
// slot isn't there.
bool read_registered_directory(const wchar_t* ime_name, wchar_t (&directory)[kDirectoryUnits]);

// The folder the wizard proposes: "<Program Files>\<ime_name>\", or the
// installed product's folder, which can't be changed then (true).
bool propose_directory(wchar_t (&directory)[kDirectoryUnits], const wchar_t* ime_name);

}  // namespace ui
