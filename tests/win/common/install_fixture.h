#pragma once
// A package as the start-up leaves it for an install run: a workspace
// folder of the test's own with the extracted tree ("ZZ_INSTALL\"), the
// bare uninstaller and the enciphered package beside it, a run context
// naming them, an install information record with unique names, and an
// install folder (not yet created) below the same scratch folder.

#include <string>

#include "app/records.h"
#include "package/install_info.h"
#include "scratch.h"

namespace wintest {

class InstallFixture {
public:
    explicit InstallFixture(const wchar_t* tag = L"install");
    InstallFixture(const InstallFixture&) = delete;
    InstallFixture& operator=(const InstallFixture&) = delete;

    app::RunContext context{};
    package::InstallInfo info{};

    const std::wstring& ime_name() const { return ime_name_; }
    const std::wstring& display_name() const { return display_name_; }
    std::wstring workspace() const { return context.workspace_dir; }  // ends in a backslash
    std::wstring extract() const { return context.extract_dir; }      // ends in a backslash
    std::wstring install_dir() const { return install_dir_; }         // ends in a backslash
    std::wstring scratch_file(const std::wstring& name) const { return scratch_.file(name); }

    // A file of the extracted tree ("a\b.txt" below "ZZ_INSTALL\"), with
    // every folder it needs.
    void add(const std::wstring& relative, const std::string& content);
    // The bare uninstaller and the enciphered package in the workspace.
    void add_uninstaller(const std::string& content = "MZ uninstaller");
    void add_package(const std::string& content = "CRYP package");
    // The same product (names, record, install folder) as `installed`, for
    // a second run over it from a workspace of this fixture's own.
    void adopt_product(const InstallFixture& installed);
    // A tree that installs: "<ime>.ime", config.exe, main.chm,
    // InstallInfo.dif and a file in a subfolder, plus uninstaller and package.
    void add_product();

private:
    ScratchFolder scratch_;
    std::wstring ime_name_;
    std::wstring display_name_;
    std::wstring install_dir_;
};

// The whole content of a file as text; empty when it can't be read.
std::string file_text(const std::wstring& path);
// Writes `content`, creating the folders the path needs.
bool put_file(const std::wstring& path, const std::string& content);

// The folders an install run writes to outside its install folder, each
// ending in a backslash (the data folder excepted: it is as the product
// names it, empty when the name is refused).
std::wstring system_dir();
std::wstring windows_dir();
std::wstring special_folder(int csidl);
std::wstring data_dir(const std::wstring& ime_name);

}  // namespace wintest
