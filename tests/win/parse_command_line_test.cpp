#include "app/parse_command_line.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/format_bounded.h"

namespace {

const wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kVendorRoot[] = L"Software\\marlix\\";

std::wstring unique_product() {
    return L"Grammar Test " + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
}

bool key_exists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A registry key created for one test and deleted (one key at a time)
// when the test ends, with the parent "marlix" key when the test made it.
class ScopedKey {
public:
    ScopedKey(HKEY root, std::wstring path)
        : root_(root), path_(std::move(path)), made_vendor_(!key_exists(root_, L"Software\\marlix")) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        key_ = key;
    }
    ~ScopedKey() {
        if (key_) RegCloseKey(key_);
        RegDeleteKeyW(root_, path_.c_str());
        // Fails, as it should, while another product's key is below it.
        if (made_vendor_) RegDeleteKeyW(root_, L"Software\\marlix");
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    void set(const wchar_t* name, const std::wstring& text, bool count_nul = false) {
        const DWORD bytes = static_cast<DWORD>((text.size() + (count_nul ? 1 : 0)) * sizeof(wchar_t));
        EXPECT_EQ(RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 bytes),
                  ERROR_SUCCESS);
    }
    void set_dword(const wchar_t* name, DWORD value) {
        EXPECT_EQ(RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof value),
                  ERROR_SUCCESS);
    }

private:
    HKEY root_;
    std::wstring path_;
    bool made_vendor_;
    HKEY key_ = nullptr;
};

struct Parsed {
    app::RunContext run{};
    app::CommandRecord command{};
};

Parsed parse(const std::wstring& arguments) {
    Parsed p;
    support::copy_slot(p.run.command_line, arguments.c_str());
    // Leftovers from an earlier use must not survive the parse.
    support::copy_slot(p.command.display_name, L"stale");
    support::copy_slot(p.command.install_dir, L"stale");
    app::parse_command_line(p.run, p.command);
    return p;
}

class ParseCommandLine : public ::testing::Test {
protected:
    const std::wstring name = unique_product();
    const std::wstring uninstall_key = kUninstallRoot + name;
    const std::wstring vendor_key = kVendorRoot + name;
};

}  // namespace

TEST_F(ParseCommandLine, InstalledProductIsFoundThroughItsKeys) {
    ScopedKey entry(HKEY_LOCAL_MACHINE, uninstall_key);
    entry.set(L"DisplayName", L"紫金拼音输入法 2.0");
    ScopedKey user(HKEY_CURRENT_USER, vendor_key);
    user.set(L"ZMEInstallPath", L"C:\\Program Files\\Zinzin\\");

    const Parsed p = parse(L"-u name=[" + name + L"] file=C:\\setup.exe");
    EXPECT_EQ(p.run.mode, app::kModeUninstall);
    EXPECT_STREQ(p.run.source_path, L"C:\\setup.exe");
    EXPECT_EQ(p.command.product_name, name);
    EXPECT_STREQ(p.command.display_name, L"紫金拼音输入法 2.0");
    EXPECT_STREQ(p.command.install_dir, L"C:\\Program Files\\Zinzin\\");
}

TEST_F(ParseCommandLine, MachineKeyWinsAndCurrentUserKeyIsTheFallback) {
    ScopedKey user(HKEY_CURRENT_USER, vendor_key);
    user.set(L"ZMEInstallPath", L"E:\\user\\");
    const Parsed p = parse(L"/G name=[" + name + L"]");
    EXPECT_EQ(p.run.mode, app::kModeUpdate);
    EXPECT_STREQ(p.command.install_dir, L"E:\\user\\");
    EXPECT_STREQ(p.command.display_name, L"");  // no uninstall entry
    {
        // The user's key is anybody's to write: it never overrides the machine's.
        ScopedKey machine(HKEY_LOCAL_MACHINE, vendor_key);
        EXPECT_STREQ(parse(L"-u name=[" + name + L"]").command.install_dir, L"E:\\user\\");  // no value yet
        machine.set(L"ZMEInstallPath", L"D:\\machine\\");
        EXPECT_STREQ(parse(L"-u name=[" + name + L"]").command.install_dir, L"D:\\machine\\");
    }
}

TEST_F(ParseCommandLine, ProductThatIsNotInstalled) {
    const Parsed p = parse(L"-r name=[" + name + L"] file=C:\\x\\setup.exe");
    EXPECT_EQ(p.run.mode, app::kModeRepair);
    EXPECT_EQ(p.command.product_name, name);
    EXPECT_STREQ(p.command.install_dir, L"");
    EXPECT_STREQ(p.command.display_name, L"");
}

TEST_F(ParseCommandLine, InstallModeKeepsOnlyTheFilePart) {
    const Parsed p = parse(L" file=C:\\Users\\me\\Downloads\\setup.exe");
    EXPECT_EQ(p.run.mode, app::kModeInstall);
    EXPECT_STREQ(p.run.source_path, L"C:\\Users\\me\\Downloads\\setup.exe");
    EXPECT_STREQ(p.command.product_name, L"");
    EXPECT_STREQ(p.command.display_name, L"");
}

TEST_F(ParseCommandLine, NamesWithAndWithoutClosingBracket) {
    ScopedKey user(HKEY_CURRENT_USER, vendor_key);
    user.set(L"ZMEInstallPath", L"C:\\IME\\");

    // Without a closing bracket the name runs on into the file part: no
    // such product is installed, so the run ends quietly.
    Parsed p = parse(L"-u name=[" + name + L" file=C:\\setup.exe");
    EXPECT_EQ(p.run.mode, app::kModeUninstall);
    EXPECT_STREQ(p.command.install_dir, L"");
    EXPECT_STREQ(p.run.source_path, L"C:\\setup.exe");

    // At the very end of the line a missing bracket does no harm.
    p = parse(L"-u name=[" + name);
    EXPECT_STREQ(p.command.install_dir, L"C:\\IME\\");

    // A name holding "]" ends at the last one: "<name>]x" is another product.
    p = parse(L"-u name=[" + name + L"]x]");
    EXPECT_EQ(p.command.product_name, name + L"]x");
    EXPECT_STREQ(p.command.install_dir, L"");
}

TEST_F(ParseCommandLine, OverlongNameIsCutAndLooksUpTheCutName) {
    const std::wstring long_name = name + std::wstring(60, L'z');
    const std::wstring cut = long_name.substr(0, 39);
    ScopedKey user(HKEY_CURRENT_USER, kVendorRoot + cut);
    user.set(L"ZMEInstallPath", L"C:\\cut\\");
    const Parsed p = parse(L"-u name=[" + long_name + L"]");
    EXPECT_EQ(p.command.product_name, cut);
    EXPECT_STREQ(p.command.install_dir, L"C:\\cut\\");
}

TEST_F(ParseCommandLine, ValuesThatFillOrOverflowTheirSlot) {
    ScopedKey entry(HKEY_LOCAL_MACHINE, uninstall_key);
    ScopedKey user(HKEY_CURRENT_USER, vendor_key);

    // Written as this program writes them (NUL not counted), one unit
    // short of the slot: read whole.
    entry.set(L"DisplayName", std::wstring(79, L'd'));
    user.set(L"ZMEInstallPath", std::wstring(258, L'p') + L"\\");
    Parsed p = parse(L"-u name=[" + name + L"]");
    EXPECT_EQ(std::wstring(p.command.display_name), std::wstring(79, L'd'));
    EXPECT_EQ(std::wstring(p.command.install_dir), std::wstring(258, L'p') + L"\\");
    // A folder comes with its backslash (added where the value has none):
    // as long without one, there is no room to add it, and no folder.
    user.set(L"ZMEInstallPath", std::wstring(259, L'p'));
    p = parse(L"-u name=[" + name + L"]");
    EXPECT_STREQ(p.command.install_dir, L"");
    user.set(L"ZMEInstallPath", L"C:\\IME");
    p = parse(L"-u name=[" + name + L"]");
    EXPECT_STREQ(p.command.install_dir, L"C:\\IME\\");

    // Exactly filling the slot without a NUL: Windows hands the bytes over
    // unterminated (the slot's last unit is then cut), Wine asks for room
    // for a NUL and fails the read. Either way the slot ends terminated.
    entry.set(L"DisplayName", std::wstring(80, L'd'));
    user.set(L"ZMEInstallPath", std::wstring(260, L'p'));
    p = parse(L"-u name=[" + name + L"]");
    const std::wstring display(p.command.display_name);
    const std::wstring dir(p.command.install_dir);
    EXPECT_TRUE(display.empty() || display == std::wstring(79, L'd')) << display.size();
    EXPECT_TRUE(dir.empty() || dir == std::wstring(259, L'p')) << dir.size();

    // Longer than the read allows: the field stays empty.
    entry.set(L"DisplayName", std::wstring(81, L'd'));
    user.set(L"ZMEInstallPath", std::wstring(261, L'p'));
    p = parse(L"-u name=[" + name + L"]");
    EXPECT_STREQ(p.command.display_name, L"");
    EXPECT_STREQ(p.command.install_dir, L"");
}

TEST_F(ParseCommandLine, ValueOfTheWrongTypeIsUnreadable) {
    ScopedKey user(HKEY_CURRENT_USER, vendor_key);
    user.set_dword(L"ZMEInstallPath", 0x003A0043);  // "C:" as bytes
    EXPECT_STREQ(parse(L"-u name=[" + name + L"]").command.install_dir, L"");
}

TEST_F(ParseCommandLine, UnterminatedCommandLineSlotIsReadToItsEnd) {
    Parsed p;
    for (wchar_t& unit : p.run.command_line) unit = L' ';
    const std::wstring tail = L"-u name=[AB]";
    std::copy(tail.begin(), tail.end(), p.run.command_line + app::kPathUnits - 1 - tail.size());
    // The last unit lies beyond the 259 that count.
    p.run.command_line[app::kPathUnits - 1] = L'!';
    app::parse_command_line(p.run, p.command);
    EXPECT_EQ(p.run.mode, app::kModeUninstall);
    EXPECT_STREQ(p.command.product_name, L"AB");
}
