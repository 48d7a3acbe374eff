#include "wizard_setup.h"

#include <windows.h>

#include "app/folders.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/wizard_buffers.h"

namespace wintest {

WizardSetup::WizardSetup(const wchar_t* tag)
    : scratch_(tag), ime_name_(unique_name(tag)), display_name_(L"向导测试" + ime_name_) {
    package::InstallInfo& info = records.info();
    support::copy_slot(support::wide_slot(info.ime_name), ime_name_.c_str());
    support::copy_slot(support::wide_slot(info.display_name), display_name_.c_str());
    support::copy_slot(support::wide_slot(info.layout_text), display_name_.c_str());

    app::RunContext& run = records.run();
    support::format_slot(run.workspace_dir, L"%ls\\workspace\\", scratch_.path().c_str());
    support::format_slot(run.extract_dir, L"%lsZZ_INSTALL\\", run.workspace_dir);
    support::format_slot(run.package_path, L"%lszzinstallbaseexe.cab", run.workspace_dir);
    support::format_slot(run.uninstaller_path, L"%lsunstall.exe", run.workspace_dir);
    CreateDirectoryW(run.workspace_dir, nullptr);
    CreateDirectoryW(run.extract_dir, nullptr);

    ui::wizard_buffers() = ui::WizardBuffers{};
}

WizardSetup::~WizardSetup() {
    const std::wstring vendor = L"Software\\marlix\\" + ime_name_;
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, vendor.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, vendor.c_str());
    const std::wstring data = data_folder();
    if (!data.empty()) remove_tree(data);
    ui::wizard_buffers() = ui::WizardBuffers{};
}

std::wstring WizardSetup::data_folder() const {
    wchar_t folder[app::kPathUnits];
    return app::common_data_dir(folder, ime_name_.c_str()) ? folder : L"";
}

void WizardSetup::register_directory(const std::wstring& directory) const {
    const std::wstring vendor = L"Software\\marlix\\" + ime_name_;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vendor.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"ZMEInstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory.c_str()),
                   static_cast<DWORD>(directory.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

}  // namespace wintest
