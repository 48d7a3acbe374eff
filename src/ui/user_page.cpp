#include "ui/user_page.h"

#include "support/format_bounded.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"

namespace ui {
namespace {

constexpr wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kOrganisationValue[] = L"RegisteredOrganization";
constexpr wchar_t kOwnerValue[] = L"RegisteredOwner";

// A value into `field` only when it is there whole.
void read_field(HKEY key, const wchar_t* name, wchar_t (&field)[kUserFieldUnits]) {
    wchar_t value[kUserFieldUnits];
    if (support::read_string_value(key, name, value)) support::copy_slot(field, value);
}

}  // namespace

void read_registered_user(WizardBuffers& buffers) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    read_field(key.get(), kOrganisationValue, buffers.company);
    read_field(key.get(), kOwnerValue, buffers.user_name);
}

BOOL CZZ_Install_User::on_init() {
    WizardBuffers& buffers = wizard_buffers();
    // A company already given (an earlier wizard of this process) is kept
    // with its user name.
    if (buffers.company[0] == L'\0') read_registered_user(buffers);
    send_item(kUserNameEditId, EM_LIMITTEXT, kUserFieldUnits - 1);
    send_item(kCompanyEditId, EM_LIMITTEXT, kUserFieldUnits - 1);
    set_item_text(kUserNameEditId, buffers.user_name);
    set_item_text(kCompanyEditId, buffers.company);
    return TRUE;
}

}  // namespace ui
