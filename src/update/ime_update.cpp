#include "update/ime_update.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <span>

#include "app/folders.h"
#include "install/file_names.h"
#include "install/registry_entries.h"
#include "package/mapfile.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/version_resource.h"
#include "support/wide.h"
#include "update/config_dsc.h"

namespace update {
namespace {

constexpr const wchar_t* kSettingsFileFormat = L"%lsconfig.dsc";
constexpr const wchar_t* kConfigProgramName = L"_config_";
constexpr const wchar_t* kInstallBaseName = L"_install_base_";

// The three component names of the IME's settings record, or nothing when
// the data folder, the file or the record can't be had. The file is only
// read, so it is opened for reading: a settings file the IME keeps
// read-only (or open for reading) is no obstacle.
std::optional<ImeComponentNames> read_component_names(const wchar_t* ime_name) {
    wchar_t data_folder[app::kPathUnits];
    if (!app::common_data_dir(data_folder, ime_name)) return std::nullopt;
    wchar_t settings[app::kPathUnits];
    if (support::format_slot(settings, kSettingsFileFormat, data_folder) != support::kStatusOk) return std::nullopt;

    package::MappedViewPtr view = package::open_mapped_file(settings, false);
    if (!view || view->base == nullptr) return std::nullopt;
    ConfigDscResult result = read_config_record(std::span<const std::uint8_t>(view->base, view->size));
    package::close_mapped_file(view, false);
    if (result.status != ConfigDscStatus::ok) return std::nullopt;
    return std::move(result.names);
}

}  // namespace

int ZZIMEUpdate::prepare(const wchar_t* ime_name) {
    if (ime_name == nullptr || ime_name[0] == L'\0') return 0;
    ime_name_.assign(ime_name);

    wchar_t install_directory[app::kPathUnits];
    if (!install::read_install_path(ime_name_.c_str(), install_directory)) {
        install_directory_.clear();
        post(kNoInstallDirectory);
        return 0;
    }
    install_directory_.assign(install_directory);

    const std::optional<ImeComponentNames> names = read_component_names(ime_name_.c_str());
    if (!names) {
        post(kNoSettings);
        return 0;
    }
    code_table_driver_name_.assign(std::u16string_view(names->code_table_driver));
    skin_driver_name_.assign(std::u16string_view(names->skin_driver));
    ime_main_name_.assign(std::u16string_view(names->ime_main));

    server_list_.clear();
    candidates_.clear();
    return 1;
}

int ZZIMEUpdate::Initialize(const wchar_t* ime_name) {
    if (!prepare(ime_name)) return 0;
    load_server_list(kDriverListPath);
    // The product's own second list (its Uninstall entry's URLUpdateInfo):
    // its entries follow the server's.
    wchar_t second_list[install::kUpdateUrlUnits];
    if (install::read_update_url(ime_name_.c_str(), second_list) > 0) LoadList(second_list);
    return static_cast<int>(server_list_.size());
}

void ZZIMEUpdate::load_server_list(const wchar_t* list_path) {
    const std::wstring address = update_list_address(list_path);
    if (address.empty()) post(kNoServerConfigured);
    else LoadList(address.c_str());
}

// The IME's own name of the component an item type replaces; null for the
// types this engine never updates.
const wchar_t* ZZIMEUpdate::component_name(std::int32_t type) const {
    switch (type) {
    case kItemCodeTableDriver: return code_table_driver_name_.c_str();
    case kItemSkinDriver: return skin_driver_name_.c_str();
    case kItemImeMain: return ime_main_name_.c_str();
    case kItemConfigProgram: return kConfigProgramName;
    case kItemInstallBase: return kInstallBaseName;
    default: return nullptr;
    }
}

int ZZIMEUpdate::CollectCandidates() {
    post(kCollectStart);
    for (const auto& entry : server_list_) {
        const wchar_t* local_name = component_name(entry->type);
        // A component the settings leave unnamed is not installed: no
        // listed item (not even one without a name) can replace it.
        if (local_name == nullptr || local_name[0] == L'\0') continue;
        if (!install::same_name(support::as_wide(entry->name), local_name)) continue;

        auto candidate = std::make_unique<UpdateEntry>();
        candidate->type = entry->type;
        support::copy_slot(support::wide_slot(candidate->name), local_name);
        GetTargetPath(candidate.get());
        candidate->local_version = support::GetFileVersion(support::as_wide(candidate->path));
        candidate->new_version = entry->new_version;
        std::copy(std::begin(entry->package_address), std::end(entry->package_address), candidate->package_address);
        std::copy(std::begin(entry->digest), std::end(entry->digest), candidate->digest);
        candidates_.push_back(std::move(candidate));
    }
    return static_cast<int>(candidates_.size());
}

void ZZIMEUpdate::GetTargetPath(UpdateEntry* candidate) {
    if (candidate == nullptr) return;
    wchar_t(&path)[kEntryPathUnits] = support::wide_slot(candidate->path);
    path[0] = L'\0';
    // Without its folder a path would be relative to whatever the current
    // directory is; a path cut to fit would name another file.
    const wchar_t* install = install_directory_.c_str();
    std::uint32_t status = support::kStatusInvalidArgument;
    switch (candidate->type) {
    case kItemCodeTableDriver:
        if (!install_directory_.empty()) status = support::format_slot(path, L"%lsmb.dll", install);
        break;
    case kItemSkinDriver:
        if (!install_directory_.empty()) status = support::format_slot(path, L"%lsskin.dll", install);
        break;
    case kItemImeMain:
        if (!system_directory_.empty() && !ime_name_.empty())
            status = support::format_slot(path, L"%ls%ls.zin.ime", system_directory_.c_str(), ime_name_.c_str());
        break;
    case kItemConfigProgram:
        if (!install_directory_.empty()) status = support::format_slot(path, L"%lsconfig.exe", install);
        break;
    case kItemInstallBase:
        if (!install_directory_.empty()) status = support::format_slot(path, L"%lsunstall.exe", install);
        break;
    case kItemSkinZip:
        if (!install_directory_.empty()) {
            support::PathSlot skin_folder;
            if (skin_folder.format(L"%lscolourful\\", install) == support::kStatusOk && support::is_folder(skin_folder.c_str()))
                status = support::format_slot(path, L"%lscolourful\\%ls.zip", install, support::as_wide(candidate->name));
            else
                status = support::format_slot(path, L"%lsskin.zip", install);
        }
        break;
    default:
        break;
    }
    if (status != support::kStatusOk) path[0] = L'\0';
}

}  // namespace update
