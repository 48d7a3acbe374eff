// The uninstall entry and the vendor keys in Wine's real registry: every
// value read back with its type and exact data length (no NUL counted),
// and the readers the update uses, including what they say when a value
// is missing.
#include "install/registry_entries.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/records.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "package/install_info.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace {

constexpr wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kVendor[] = L"Software\\marlix\\";

struct Value {
    bool present = false;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    std::wstring text;
};

// A value as stored: its type, its data length, and its text.
Value query(HKEY root, const std::wstring& key_path, const wchar_t* name) {
    Value value;
    support::UniqueKey key;
    if (RegOpenKeyExW(root, key_path.c_str(), 0, KEY_QUERY_VALUE | install::kRegistryView, key.put()) !=
        ERROR_SUCCESS)
        return value;
    if (RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &value.bytes) != ERROR_SUCCESS) return value;
    std::vector<wchar_t> data(value.bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = value.bytes;
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS)
        return value;
    value.present = true;
    value.text.assign(data.data(), bytes / sizeof(wchar_t));
    return value;
}

bool key_exists(HKEY root, const std::wstring& key_path) {
    support::UniqueKey key;
    return RegOpenKeyExW(root, key_path.c_str(), 0, KEY_READ | install::kRegistryView, key.put()) == ERROR_SUCCESS;
}

void set_text(HKEY root, const std::wstring& key_path, const wchar_t* name, const std::wstring& text) {
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(root, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | install::kRegistryView, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// A value stored without any terminator, as other programs may leave one:
// the text is followed in memory by a unit that isn't NUL, so the system
// has no NUL to add.
void set_unterminated(HKEY root, const std::wstring& key_path, const wchar_t* name, const std::wstring& text) {
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(root, key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | install::kRegistryView, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    const std::wstring data = text + L'#';
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(text.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    DWORD bytes = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    ASSERT_EQ(bytes, text.size() * sizeof(wchar_t));
}

void delete_key(HKEY root, const std::wstring& key_path) { RegDeleteKeyExW(root, key_path.c_str(), install::kRegistryView, 0); }

// Every key a product's entries can leave, deleted when the test ends.
class ProductKeys {
public:
    explicit ProductKeys(std::wstring name) : name_(std::move(name)) {}
    ~ProductKeys() {
        delete_key(HKEY_LOCAL_MACHINE, kUninstall + name_);
        delete_key(HKEY_LOCAL_MACHINE, kVendor + name_);
        delete_key(HKEY_CURRENT_USER, kVendor + name_);
    }
    ProductKeys(const ProductKeys&) = delete;
    ProductKeys& operator=(const ProductKeys&) = delete;
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
};

void fill(char16_t* slot, std::size_t units, const std::wstring& text) {
    support::copy_bounded(support::as_wide(slot), units, text.c_str());
}
template <std::size_t N>
void fill(char16_t (&slot)[N], const std::wstring& text) {
    fill(slot, N, text);
}

class RegistryEntriesTest : public ::testing::Test {
protected:
    void SetUp() override { use_name(wintest::unique_name(L"IRREG")); }

    void use_name(const std::wstring& name) {
        keys_.emplace_back(std::make_unique<ProductKeys>(name));
        info_ = {};
        fill(info_.ime_name, name);
        fill(info_.display_name, L"测试输入法");
        fill(info_.comments, L"注释");
        fill(info_.publisher, L"Publisher Ltd.");
        fill(info_.display_version, L"1.2.3.4");
        fill(info_.contact, L"联系人");
        fill(info_.url_info_about, L"http://example.invalid/about");
        fill(info_.help_link, L"http://example.invalid/help");
        fill(info_.url_update_info, L"http://example.invalid/update/UpdateList.txt");
        fill(info_.help_telephone, L"010-12345678");
        support::copy_slot(context_.command_line, L" file=C:\\dl\\setup.exe");
        run_ = install::make_install_run(nullptr, &info_, &context_);
        support::copy_slot(run_.install_dir, L"C:\\Program Files\\Zinzin\\测试\\");
    }

    std::wstring name() const { return keys_.back()->name(); }
    Value entry(const wchar_t* value) const { return query(HKEY_LOCAL_MACHINE, kUninstall + name(), value); }

    std::vector<std::unique_ptr<ProductKeys>> keys_;
    app::RunContext context_{};
    package::InstallInfo info_{};
    install::InstallRun run_;
};

// A REG_SZ value holding exactly the text. It is written with the NUL not
// counted; the system then stores the NUL that follows the text in memory
// too (Windows does the same for this call), except for an empty text,
// which is stored as no data at all.
void expect_text(const Value& value, const std::wstring& text, const char* what) {
    EXPECT_TRUE(value.present) << what;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << what;
    EXPECT_EQ(value.bytes, text.empty() ? 0 : (text.size() + 1) * sizeof(wchar_t)) << what;
    EXPECT_EQ(value.text, text.empty() ? text : text + L'\0') << what;
}

TEST_F(RegistryEntriesTest, UninstallEntryHoldsItsSixteenStrings) {
    EXPECT_EQ(install::write_uninstall_entry(run_, L"张三", L"某某公司"), 1);

    const std::wstring dir = run_.install_dir;
    expect_text(entry(L"RegOwner"), L"张三", "RegOwner");
    expect_text(entry(L"RegCompany"), L"某某公司", "RegCompany");
    expect_text(entry(L"DisplayName"), L"测试输入法", "DisplayName");
    expect_text(entry(L"Comments"), L"注释", "Comments");
    expect_text(entry(L"DisplayVersion"), L"1.2.3.4", "DisplayVersion");
    expect_text(entry(L"DisplayIcon"), dir + L"unstall.exe", "DisplayIcon");
    expect_text(entry(L"Contact"), L"联系人", "Contact");
    expect_text(entry(L"Publisher"), L"Publisher Ltd.", "Publisher");
    expect_text(entry(L"URLInfoAbout"), L"http://example.invalid/about", "URLInfoAbout");
    expect_text(entry(L"URLUpdateInfo"), L"http://example.invalid/update/UpdateList.txt", "URLUpdateInfo");
    expect_text(entry(L"HelpLink"), L"http://example.invalid/help", "HelpLink");
    expect_text(entry(L"HelpTelephone"), L"010-12345678", "HelpTelephone");
    expect_text(entry(L"UninstallString"), L"\"" + dir + L"Unstall.exe\" -u name=[" + name() + L"]", "UninstallString");
    expect_text(entry(L"InstallLocation"), dir, "InstallLocation");
    expect_text(entry(L"InstallSource"), L"C:\\dl\\setup.exe", "InstallSource");
    expect_text(entry(L"ModifyPath"), L"\"" + dir + L"Unstall.exe\" -r name=[" + name() + L"]", "ModifyPath");
    // Then the three that deployment tools read.
    expect_text(entry(L"QuietUninstallString"), L"\"" + dir + L"Unstall.exe\" /S -u name=[" + name() + L"]",
                "QuietUninstallString");
    SYSTEMTIME today{};
    GetLocalTime(&today);
    wchar_t date[16];
    std::swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    expect_text(entry(L"InstallDate"), date, "InstallDate");

    // The size follows once the package is kept.
    EXPECT_EQ(install::write_estimated_size(run_), 1);
    support::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kUninstall + name()).c_str(), 0, KEY_READ | install::kRegistryView,
                            key.put()),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 16u + 3u);
    DWORD type = REG_NONE;
    DWORD size = 0;
    DWORD bytes = sizeof size;
    ASSERT_EQ(RegQueryValueExW(key.get(), L"EstimatedSize", nullptr, &type, reinterpret_cast<BYTE*>(&size), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(RegistryEntriesTest, EmptyHelpLinkNamesTheInstalledHelpFile) {
    fill(info_.help_link, L"");
    install::write_uninstall_entry(run_, L"", L"");
    expect_text(entry(L"HelpLink"), std::wstring(run_.install_dir) + L"main.chm", "HelpLink");
    // Empty texts are values of no data at all.
    expect_text(entry(L"RegOwner"), L"", "RegOwner");
}

TEST_F(RegistryEntriesTest, InstallSourceComesFromTheFileArgument) {
    const struct {
        const wchar_t* command_line;
        const wchar_t* source;
    } cases[] = {
        {L"-x file=D:\\setup.exe", L"D:\\setup.exe"},
        {L"file=D:\\a b\\setup.exe] -u name=[x]", L"D:\\a b\\setup.exe"},
        {L"file=", L""},
        {L"no file argument here", L"no file argument here"},
        {L"", L""},
    };
    for (const auto& each : cases) {
        support::copy_slot(context_.command_line, each.command_line);
        install::write_uninstall_entry(run_, L"o", L"c");
        expect_text(entry(L"InstallSource"), each.source, "InstallSource");
    }
}

TEST_F(RegistryEntriesTest, NamesOfThirtyNineUnitsAreKeptWhole) {
    const std::wstring name39 = (wintest::unique_name(L"IR39") + std::wstring(39, L'x')).substr(0, 39);
    use_name(name39);
    const std::wstring display39(39, L'显');
    fill(info_.display_name, display39);

    install::write_uninstall_entry(run_, L"o", L"c");
    install::write_vendor_keys(run_);

    expect_text(entry(L"DisplayName"), display39, "DisplayName");
    expect_text(entry(L"UninstallString"), L"\"" + std::wstring(run_.install_dir) + L"Unstall.exe\" -u name=[" + name39 + L"]",
                "UninstallString");
    expect_text(entry(L"ModifyPath"), L"\"" + std::wstring(run_.install_dir) + L"Unstall.exe\" -r name=[" + name39 + L"]",
                "ModifyPath");
    expect_text(query(HKEY_LOCAL_MACHINE, kVendor + name39, L"ZMEInstallPath"), run_.install_dir, "vendor HKLM");
    expect_text(query(HKEY_CURRENT_USER, kVendor + name39, L"ZMEInstallPath"), run_.install_dir, "vendor HKCU");
}

TEST_F(RegistryEntriesTest, NamesThatAreNoPlainKeyNameWriteNothing) {
    // "" would write the sixteen values into the Uninstall key itself.
    for (const wchar_t* bad : {L"", L"a\\b", L".."}) {
        fill(info_.ime_name, bad);
        EXPECT_EQ(install::write_uninstall_entry(run_, L"o", L"c"), 1) << bad;
        install::write_vendor_keys(run_);
    }
    EXPECT_FALSE(query(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", L"RegOwner").present);
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstall + std::wstring(L"a")));
    EXPECT_FALSE(query(HKEY_CURRENT_USER, L"Software\\marlix", L"ZMEInstallPath").present);
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kVendor + std::wstring(L"a")));
}

TEST_F(RegistryEntriesTest, RollbackTakesBackKeysAndRestoresValues) {
    // An earlier install of the same product had the current user's key.
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"D:\\old\\");
    wintest::ScratchFolder backups{L"irregbak"};
    install::InstallJournal journal(backups.path().c_str());
    run_.journal = &journal;

    install::write_vendor_keys(run_);
    install::write_uninstall_entry(run_, L"o", L"c");
    ASSERT_TRUE(entry(L"DisplayName").present);
    journal.rollback();

    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstall + name()));
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kVendor + name()));
    expect_text(query(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath"), L"D:\\old\\", "restored");
}

TEST_F(RegistryEntriesTest, ReadInstallPathPrefersTheMachineOverTheUsersOwnKey) {
    // The user's key is anybody's to write: it never overrides the machine's.
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"C:\\Windows\\System32\\drivers\\");
    set_text(HKEY_LOCAL_MACHINE, kVendor + name(), L"ZMEInstallPath", L"C:\\Machine");
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_STREQ(path, L"C:\\Machine\\");
}

TEST_F(RegistryEntriesTest, ReadInstallPathFallsBackToTheUserAndAddsTheBackslash) {
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"C:\\User");
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_STREQ(path, L"C:\\User\\");
}

TEST_F(RegistryEntriesTest, ReadInstallPathFailsWithoutAValue) {
    wchar_t path[app::kPathUnits] = L"left by the caller";
    // No key anywhere.
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);
    EXPECT_STREQ(path, L"");

    // A machine-wide key without the value: no bare "\" as a folder.
    set_text(HKEY_LOCAL_MACHINE, kVendor + name(), L"Other", L"x");
    support::copy_slot(path, L"left by the caller");
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);
    EXPECT_STREQ(path, L"");

    // An empty value is no folder either.
    set_text(HKEY_LOCAL_MACHINE, kVendor + name(), L"ZMEInstallPath", L"");
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);

    // Neither key with a folder.
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"Other", L"x");
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);
    EXPECT_STREQ(path, L"");
}

TEST_F(RegistryEntriesTest, ReadInstallPathTakesLongPathsWhole) {
    // 258 characters and the backslash: the longest install folder there is.
    const std::wstring long_path = L"C:\\" + std::wstring(254, L'd') + L"\\";
    ASSERT_EQ(long_path.size(), 258u);
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", long_path);
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_EQ(std::wstring(path), long_path);

    // The same without a terminator of its own reads the same.
    set_unterminated(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", long_path);
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_EQ(std::wstring(path), long_path);
    // 259 characters fill the slot: no terminator would fit after a stored one.
    set_unterminated(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"C:\\" + std::wstring(255, L'd') + L"\\");
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_EQ(std::wstring(path).size(), 259u);

    // 259 characters without a backslash leave no room for one.
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"C:\\" + std::wstring(256, L'd'));
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);
    // Longer than a path can be: no cut path is handed over.
    set_text(HKEY_CURRENT_USER, kVendor + name(), L"ZMEInstallPath", L"C:\\" + std::wstring(300, L'd') + L"\\");
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 0);
    EXPECT_STREQ(path, L"");
}

TEST_F(RegistryEntriesTest, ReadInstallPathOfTheWrittenKeys) {
    install::write_vendor_keys(run_);
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(install::read_install_path(name().c_str(), path), 1);
    EXPECT_STREQ(path, run_.install_dir);
    EXPECT_EQ(install::read_install_path(L"", path), 0);
}

TEST_F(RegistryEntriesTest, ReadUpdateUrl) {
    wchar_t url[install::kUpdateUrlUnits];
    EXPECT_EQ(install::read_update_url(name().c_str(), url), 0u);  // not installed
    EXPECT_EQ(install::read_update_url(name().c_str(), nullptr), 0u);

    install::write_uninstall_entry(run_, L"o", L"c");
    const std::wstring expected = L"http://example.invalid/update/UpdateList.txt";
    EXPECT_EQ(install::read_update_url(name().c_str(), url), expected.size());
    EXPECT_EQ(std::wstring(url), expected);
    // Measuring alone gives the same length, also for addresses longer than 19.
    EXPECT_EQ(install::read_update_url(name().c_str(), nullptr), expected.size());

    // The longest address the install information can hold.
    const std::wstring longest = L"http://" + std::wstring(248, L'u');
    set_text(HKEY_LOCAL_MACHINE, kUninstall + name(), L"URLUpdateInfo", longest);
    EXPECT_EQ(install::read_update_url(name().c_str(), url), 255u);
    EXPECT_EQ(std::wstring(url), longest);
    set_unterminated(HKEY_LOCAL_MACHINE, kUninstall + name(), L"URLUpdateInfo", longest);
    EXPECT_EQ(install::read_update_url(name().c_str(), url), 255u);
    EXPECT_EQ(std::wstring(url), longest);
    // One more would only fit without its terminator: refused, not cut.
    set_unterminated(HKEY_LOCAL_MACHINE, kUninstall + name(), L"URLUpdateInfo", longest + L"u");
    EXPECT_EQ(install::read_update_url(name().c_str(), url), 0u);
    EXPECT_STREQ(url, L"");
    set_text(HKEY_LOCAL_MACHINE, kUninstall + name(), L"URLUpdateInfo", longest + L"u");
    EXPECT_EQ(install::read_update_url(name().c_str(), nullptr), 0u);

    // No value: 0.
    set_text(HKEY_LOCAL_MACHINE, kUninstall + name(), L"URLUpdateInfo", L"");
    EXPECT_EQ(install::read_update_url(name().c_str(), url), 0u);
}

// The generator key is the vendor's own: keep whatever it held.
class GeneratorKeyGuard {
public:
    GeneratorKeyGuard() : saved_(query(HKEY_CURRENT_USER, install::kGeneratorKey, install::kLastRunPathValue)) {
        existed_ = key_exists(HKEY_CURRENT_USER, install::kGeneratorKey);
    }
    ~GeneratorKeyGuard() {
        if (saved_.present) {
            support::UniqueKey key;
            RegOpenKeyExW(HKEY_CURRENT_USER, install::kGeneratorKey, 0, KEY_SET_VALUE, key.put());
            RegSetValueExW(key.get(), install::kLastRunPathValue, 0, saved_.type,
                           reinterpret_cast<const BYTE*>(saved_.text.c_str()), saved_.bytes);
        } else if (existed_) {
            support::UniqueKey key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, install::kGeneratorKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
                RegDeleteValueW(key.get(), install::kLastRunPathValue);
        } else {
            delete_key(HKEY_CURRENT_USER, install::kGeneratorKey);
        }
    }
    GeneratorKeyGuard(const GeneratorKeyGuard&) = delete;
    GeneratorKeyGuard& operator=(const GeneratorKeyGuard&) = delete;

private:
    Value saved_;
    bool existed_ = false;
};

TEST(ReadLastRunPath, ReadsTheGeneratorsPath) {
    GeneratorKeyGuard guard;
    set_text(HKEY_CURRENT_USER, install::kGeneratorKey, install::kLastRunPathValue, L"D:\\生成器\\");
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(install::read_last_run_path(path), 1);
    EXPECT_STREQ(path, L"D:\\生成器\\");

    set_text(HKEY_CURRENT_USER, install::kGeneratorKey, install::kLastRunPathValue, L"");
    EXPECT_EQ(install::read_last_run_path(path), 0);
    support::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, install::kGeneratorKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
    RegDeleteValueW(key.get(), install::kLastRunPathValue);
    EXPECT_EQ(install::read_last_run_path(path), 0);
    EXPECT_STREQ(path, L"");
}

}  // namespace
