// The installer cut into uninstaller and package, and the package unpacked
// into the workspace: prepare_package, split_module and unpack_package on
// real files. The installers are this test program's own image with a
// package attached by the packer's code at test time, and damaged variants
// of it.
#include "app/background_unpack.h"
#include "app/workspace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "cabinet_writer.h"
#include "package/blowfish.h"
#include "package/package_container.h"
#include "package/pe_certificate.h"
#include "package/pe_image.h"
#include "packaging.h"
#include "scratch.h"
#include "support/format_bounded.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using wintest::file_exists;
using wintest::folder_exists;
using wintest::read_file;
using wintest::write_file;

Bytes text_bytes(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text)); }

Bytes own_image() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return read_file(path);
}

// A product as a vendor packs it: the install information and files in a
// subfolder, one with a Chinese name.
Bytes product_cabinet() {
    std::vector<imepack::CabinetFile> files;
    Bytes info(2668, 0);
    const char16_t name[] = u"测试产品";
    std::memcpy(info.data() + 0xA0, name, sizeof name);
    files.push_back({"InstallInfo.dif", info, 0, 0x5264, 0x28C4, 0});
    files.push_back({"readme.txt", text_bytes("read me\r\n"), 0, 0x5264, 0x28C4, 0});
    files.push_back({"$system32$\\\xE6\xB5\x8B\xE8\xAF\x95.lex", text_bytes("lexicon"), 0, 0x5264, 0x28C4, 0});
    return imepack::write_cabinet(files);
}

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// `file` with a made-up certificate table of `size` bytes appended and
// recorded, as a signing tool leaves it (the table's contents don't
// matter to the cut).
Bytes sign_fake(Bytes file, std::uint32_t size) {
    const auto fields = package::read_pe_fields(file);
    EXPECT_TRUE(fields && fields->certificate_entry != 0);
    put32(file, fields->certificate_entry, static_cast<std::uint32_t>(file.size()));
    put32(file, fields->certificate_entry + 4, size);
    file.resize(file.size() + size, 0xC3);
    return file;
}

// `image` followed by `tail`, with `offset` as the stored package offset.
Bytes attach_raw(Bytes image, const Bytes& tail, std::uint32_t offset) {
    EXPECT_TRUE(package::write_package_offset(image, offset));
    image.insert(image.end(), tail.begin(), tail.end());
    return image;
}

std::set<std::wstring> tree_of(const std::wstring& folder, const std::wstring& prefix = L"") {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        names.insert(prefix + name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const auto inner = tree_of(folder + L"\\" + name, prefix + name + L"\\");
            names.insert(inner.begin(), inner.end());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

class PackageSplit : public ::testing::Test {
protected:
    void SetUp() override {
        workspace_ = scratch_.file(L"__ZZIMEInstall") + L"\\";
        ASSERT_TRUE(CreateDirectoryW(workspace_.c_str(), nullptr));
        support::copy_slot(run_.workspace_dir, workspace_.c_str());
    }

    // Puts `installer` beside the workspace and names it as the running
    // executable.
    void use_installer(const Bytes& installer) {
        const std::wstring path = scratch_.file(L"setup.exe");
        ASSERT_TRUE(write_file(path, installer));
        support::copy_slot(run_.module_path, path.c_str());
    }

    // Prepares and unpacks; true when both worked.
    bool prepare_and_unpack() { return app::prepare_package(run_) != 0 && app::unpack_package(run_) != 0; }

    // Everything in the scratch folder apart from the workspace and the
    // installer: must stay empty whatever the input.
    std::set<std::wstring> outside_workspace() {
        std::set<std::wstring> names = tree_of(scratch_.path());
        std::erase_if(names, [](const std::wstring& n) { return n.rfind(L"__ZZIMEInstall", 0) == 0 || n == L"setup.exe"; });
        return names;
    }

    wintest::ScratchFolder scratch_{L"split"};
    std::wstring workspace_;
    app::RunContext run_{};
};

// --- a good installer -----------------------------------------------------

TEST_F(PackageSplit, TheRelaunchedCopyIsCutWhereItLiesAndStays) {
    const Bytes package = imepack::seal_package(product_cabinet());
    const Bytes installer = imepack::attach_package(own_image(), package);
    const std::wstring copy = workspace_ + L"___zinzin_install_base___.exe";
    ASSERT_TRUE(write_file(copy, installer));
    support::copy_slot(run_.module_path, copy.c_str());

    ASSERT_TRUE(prepare_and_unpack());
    EXPECT_EQ(std::wstring(run_.source_path), copy);
    EXPECT_EQ(read_file(copy), installer) << "the running copy stays as it was";
    EXPECT_FALSE(file_exists(workspace_ + L"zzinstallbaseexe.tmp")) << "no second copy";
    EXPECT_EQ(read_file(run_.package_path), package);
    EXPECT_EQ(read_file(run_.uninstaller_path).size(), installer.size() - package.size());
    EXPECT_TRUE(file_exists(workspace_ + L"ZZ_INSTALL\\InstallInfo.dif"));
    EXPECT_TRUE(outside_workspace().empty());
}

TEST_F(PackageSplit, CutsTheInstallerAndUnpacksItsPackage) {
    const Bytes image = own_image();
    const Bytes package = imepack::seal_package(product_cabinet());
    const Bytes installer = imepack::attach_package(image, package);
    use_installer(installer);

    ASSERT_NE(app::prepare_package(run_), 0);
    EXPECT_EQ(std::wstring(run_.source_path), workspace_ + L"zzinstallbaseexe.tmp");
    EXPECT_EQ(std::wstring(run_.package_path), workspace_ + L"zzinstallbaseexe.cab");
    EXPECT_EQ(std::wstring(run_.uninstaller_path), workspace_ + L"unstall.exe");
    EXPECT_FALSE(file_exists(run_.source_path)) << "the scratch copy is deleted";

    // The uninstaller is the installer up to the package, byte for byte
    // but for the checksum of its own bytes; the package file is exactly
    // the attached package.
    const Bytes uninstaller = read_file(run_.uninstaller_path);
    const std::size_t offset = installer.size() - package.size();
    ASSERT_EQ(uninstaller.size(), offset);
    const auto fields = package::read_pe_fields(uninstaller);
    ASSERT_TRUE(fields);
    Bytes expected(installer.begin(), installer.begin() + offset);
    std::copy_n(uninstaller.begin() + fields->checksum, 4, expected.begin() + fields->checksum);
    EXPECT_EQ(uninstaller, expected);
    EXPECT_EQ(get32(uninstaller, fields->checksum), package::pe_checksum(uninstaller, fields->checksum));
    EXPECT_EQ(read_file(run_.package_path), package);

    ASSERT_NE(app::unpack_package(run_), 0);
    const std::wstring extract = workspace_ + L"ZZ_INSTALL\\";
    EXPECT_EQ(std::wstring(run_.extract_dir), extract);
    EXPECT_EQ(read_file(extract + L"readme.txt"), text_bytes("read me\r\n"));
    EXPECT_EQ(read_file(extract + L"$system32$\\测试.lex"), text_bytes("lexicon"));
    EXPECT_EQ(read_file(extract + L"InstallInfo.dif").size(), 2668u);
    EXPECT_TRUE(outside_workspace().empty());
}

TEST_F(PackageSplit, TheExtractionBehindTheWizardHandsOverTheRecordThenEverythingOrSaysItFailed) {
    const Bytes package = imepack::seal_package(product_cabinet());
    use_installer(imepack::attach_package(own_image(), package));
    ASSERT_NE(app::prepare_package(run_), 0);
    const std::wstring extract = workspace_ + L"ZZ_INSTALL\\";
    {
        app::BackgroundUnpack unpack(run_);
        EXPECT_EQ(app::background_unpack(), &unpack);
        EXPECT_FALSE(app::unpack_ready());
        ASSERT_TRUE(unpack.start());
        ASSERT_TRUE(unpack.wait_for_install_info());
        EXPECT_EQ(read_file(extract + L"InstallInfo.dif").size(), 2668u);
        EXPECT_TRUE(unpack.wait());
        EXPECT_EQ(unpack.state(), app::BackgroundUnpack::State::done);
        EXPECT_TRUE(app::unpack_ready());
        EXPECT_EQ(unpack.package_size(), package.size());
        EXPECT_GE(unpack.bytes_read(), package.size() / 2);
        EXPECT_EQ(read_file(extract + L"readme.txt"), text_bytes("read me\r\n"));
        EXPECT_EQ(read_file(extract + L"$system32$\\测试.lex"), text_bytes("lexicon"));
    }
    EXPECT_EQ(app::background_unpack(), nullptr);
    EXPECT_TRUE(app::unpack_ready());

    // Stopped before it began: nothing is taken for a whole extraction.
    {
        app::BackgroundUnpack unpack(run_);
        unpack.abort();
        ASSERT_TRUE(unpack.start());
        EXPECT_FALSE(unpack.wait_for_install_info());
        EXPECT_FALSE(unpack.wait());
        EXPECT_EQ(unpack.state(), app::BackgroundUnpack::State::stopped);
        EXPECT_FALSE(app::unpack_ready());
    }

    // A damaged package fails, whether or not its record came out first.
    Bytes damaged = package;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5A;
    const Bytes image = own_image();
    use_installer(attach_raw(image, damaged, static_cast<std::uint32_t>(image.size())));
    ASSERT_NE(app::prepare_package(run_), 0);
    {
        app::BackgroundUnpack unpack(run_);
        ASSERT_TRUE(unpack.start());
        unpack.wait_for_install_info();
        EXPECT_FALSE(unpack.wait());
        EXPECT_EQ(unpack.state(), app::BackgroundUnpack::State::failed);
    }
    EXPECT_TRUE(outside_workspace().empty());
}

TEST_F(PackageSplit, AnEarlierExtractionIsClearedFirst) {
    use_installer(imepack::attach_package(own_image(), imepack::seal_package(product_cabinet())));
    const std::wstring extract = workspace_ + L"ZZ_INSTALL";
    ASSERT_TRUE(CreateDirectoryW(extract.c_str(), nullptr));
    ASSERT_TRUE(write_file(extract + L"\\stale.txt", text_bytes("old")));
    ASSERT_TRUE(write_file(extract + L"\\readme.txt", text_bytes("old readme")));
    SetFileAttributesW((extract + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(prepare_and_unpack());
    EXPECT_FALSE(file_exists(extract + L"\\stale.txt"));
    EXPECT_EQ(read_file(extract + L"\\readme.txt"), text_bytes("read me\r\n"));
}

TEST_F(PackageSplit, AReadOnlyInstallerIsSplitAndItsScratchCopyDeleted) {
    use_installer(imepack::attach_package(own_image(), imepack::seal_package(product_cabinet())));
    ASSERT_TRUE(SetFileAttributesW(run_.module_path, FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(prepare_and_unpack());
    EXPECT_FALSE(file_exists(workspace_ + L"zzinstallbaseexe.tmp"));
    SetFileAttributesW(run_.module_path, FILE_ATTRIBUTE_NORMAL);
}

// --- installers that carry no usable package ------------------------------

TEST_F(PackageSplit, NoPackageOffsetOrOneAtOrPastTheEndWritesNothing) {
    const Bytes image = own_image();
    const Bytes package = imepack::seal_package(product_cabinet());
    const Bytes with_package = imepack::attach_package(image, package);
    const std::uint32_t size = static_cast<std::uint32_t>(image.size() + package.size());
    struct Case {
        const char* what;
        Bytes installer;
    } cases[] = {
        {"no package at all (offset 0)", image},
        {"offset 0 with bytes behind the image", attach_raw(image, package, 0)},
        {"offset at the end", attach_raw(image, package, size)},
        {"offset past the end", attach_raw(image, package, size + 4096)},
        {"cut inside the image", Bytes(with_package.begin(), with_package.begin() + image.size() / 2)},
        {"not an executable", text_bytes("MZ but nothing more")},
        {"empty file", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        use_installer(c.installer);
        EXPECT_EQ(app::prepare_package(run_), 0);
        EXPECT_FALSE(file_exists(workspace_ + L"unstall.exe"));
        EXPECT_FALSE(file_exists(workspace_ + L"zzinstallbaseexe.cab"));
        EXPECT_FALSE(file_exists(workspace_ + L"zzinstallbaseexe.tmp"));
        EXPECT_TRUE(outside_workspace().empty());
    }
}

TEST_F(PackageSplit, PackagesThatDontDecipherIntoTheProductFail) {
    const Bytes image = own_image();
    const Bytes cabinet = product_cabinet();
    const Bytes sealed = imepack::seal_package(cabinet);
    const std::uint32_t offset = static_cast<std::uint32_t>(image.size());

    Bytes damaged = sealed;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5A;
    package::BlowfishContext other{};
    const char other_key[] = "NotTheKey26";
    package::SetKey(other, reinterpret_cast<const std::uint8_t*>(other_key), 11);
    const Bytes wrong_key = package::seal_cabinet(cabinet, other);
    ASSERT_FALSE(wrong_key.empty());
    Bytes plain_text_signature = sealed;
    plain_text_signature[0] = 'X';

    struct Case {
        const char* what;
        Bytes tail;
    } cases[] = {
        {"truncated installer (half the package)", Bytes(sealed.begin(), sealed.begin() + sealed.size() / 2)},
        {"truncated to the plain head", Bytes(sealed.begin(), sealed.begin() + 56)},
        {"damaged package", damaged},
        {"package sealed with another key", wrong_key},
        {"a plain cabinet where a sealed package belongs", cabinet},
        {"neither CRYP nor MSCF", plain_text_signature},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        use_installer(attach_raw(image, c.tail, offset));
        // Refused by the cut (shorter than its header says) or by the
        // extraction; signed, it fares exactly the same.
        EXPECT_FALSE(prepare_and_unpack());
        use_installer(sign_fake(attach_raw(image, c.tail, offset), 1024));
        EXPECT_FALSE(prepare_and_unpack());
        EXPECT_TRUE(outside_workspace().empty());
    }
}

// --- workspaces that can't be used ----------------------------------------

TEST_F(PackageSplit, AMissingWorkspaceOrInstallerFails) {
    use_installer(imepack::attach_package(own_image(), imepack::seal_package(product_cabinet())));
    app::RunContext missing = run_;
    support::copy_slot(missing.workspace_dir, (scratch_.file(L"nowhere") + L"\\").c_str());
    EXPECT_EQ(app::prepare_package(missing), 0);
    EXPECT_FALSE(folder_exists(scratch_.file(L"nowhere")));

    app::RunContext empty = run_;
    empty.workspace_dir[0] = L'\0';
    EXPECT_EQ(app::prepare_package(empty), 0);
    EXPECT_EQ(app::unpack_package(empty), 0);

    app::RunContext no_installer = run_;
    support::copy_slot(no_installer.module_path, scratch_.file(L"gone.exe").c_str());
    EXPECT_EQ(app::prepare_package(no_installer), 0);
    EXPECT_TRUE(outside_workspace().empty());
}

TEST_F(PackageSplit, WorkspaceNamesThatWouldBeCutAreNeverUsed) {
    use_installer(imepack::attach_package(own_image(), imepack::seal_package(product_cabinet())));
    // 245 characters: "zzinstallbaseexe.tmp" and ".cab" would both be cut to the
    // same name, so the package would overwrite the file it is cut from.
    std::wstring deep = scratch_.path() + L"\\";
    while (deep.size() < 244) deep += L"d";
    deep += L"\\";
    ASSERT_EQ(deep.size(), 245u);
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    app::RunContext run = run_;
    support::copy_slot(run.workspace_dir, deep.c_str());
    EXPECT_EQ(app::prepare_package(run), 0);
    EXPECT_EQ(tree_of(deep).size(), 0u);
    RemoveDirectoryW(deep.c_str());

    // 250 characters: "ZZ_INSTALL\" would be cut to a folder that isn't the
    // extraction folder, which the clearing would then remove.
    std::wstring deeper = deep.substr(0, deep.size() - 1) + L"ddddd\\";
    ASSERT_EQ(deeper.size(), 250u);
    support::copy_slot(run.workspace_dir, deeper.c_str());
    EXPECT_EQ(app::unpack_package(run), 0);
    EXPECT_EQ(run.extract_dir[0], L'\0');
}

}  // namespace
