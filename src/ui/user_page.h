#pragma once
// The wizard's user page (template 102): the user name (edit 1004) and the
// company (edit 1005) that the uninstall entry records as the product's
// owner. They start as Windows' registered owner and organisation unless
// the process already has a company.

#include "ui/dialog.h"
#include "ui/wizard_buffers.h"

namespace ui {

inline constexpr int kUserPageTemplate = 102;
inline constexpr int kUserNameEditId = 1004;
inline constexpr int kCompanyEditId = 1005;

class CZZ_Install_User : public Page {
public:
    CZZ_Install_User() noexcept : Page(kUserPageTemplate) {}

protected:
    BOOL on_init() override;
};

// Windows' "RegisteredOrganization" and "RegisteredOwner" into the
// buffers' company and user name; a value that is missing or longer than
// its buffer leaves that buffer as it was.
void read_registered_user(WizardBuffers& buffers);

}  // namespace ui
