#include "ui/licence_page.h"

#include "app/process_records.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/wizard_texts.h"

namespace ui {
namespace {

constexpr std::size_t kAddressUnits = 520;

}  // namespace

std::wstring licence_address(const wchar_t* extract_dir) {
    if (extract_dir == nullptr || extract_dir[0] == L'\0') return {};
    wchar_t path[kAddressUnits];
    // A path that doesn't fit names another file: no licence then.
    if (support::format_slot(path, L"%ls%ls", extract_dir, kLicenceFileName) == support::kStatusOk &&
        support::is_file(path))
        return path;
    if (support::format_slot(path, L"%ls%ls", extract_dir, kHelpFileName) == support::kStatusOk && support::is_file(path) &&
        support::format_slot(path, kLicenceInHelpFormat, extract_dir) == support::kStatusOk)
        return path;
    return {};
}

BOOL CZZ_Install_Licence::on_init() {
    const app::RunContext* context = app::run_context();
    address_ = licence_address(context != nullptr ? context->extract_dir : nullptr);
    if (browser_.create(item(kBrowserId)) && !address_.empty()) browser_.navigate(address_.c_str());

    const package::InstallInfo* info = app::install_info();
    wchar_t title[kAddressUnits];
    support::format_slot(title, kLicenceTitleFormat, info != nullptr ? support::as_wide(info->display_name) : L"");
    set_title(title);
    return TRUE;
}

}  // namespace ui
