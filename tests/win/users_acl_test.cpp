#include "install/users_acl.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Sid = std::vector<BYTE>;

Sid well_known(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
    sid.resize(size);
    return sid;
}

std::string sid_text(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

struct Entry {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    std::string sid;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{type " << int(e.type) << ", flags 0x" << std::hex << int(e.flags) << ", mask 0x" << e.mask
               << std::dec << ", " << e.sid << "}";
}

const std::string kUsers = "S-1-5-32-545";
const std::string kAdmins = "S-1-5-32-544";
const std::string kSystem = "S-1-5-18";
const std::string kEveryone = "S-1-1-0";

Sid sid_of(const std::string& text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text.c_str(), &sid));
    Sid out(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    LocalFree(sid);
    return out;
}

// An access list holding `entries` in order.
std::vector<BYTE> make_acl(const std::vector<Entry>& entries) {
    std::vector<BYTE> acl(4096);
    EXPECT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION));
    for (const Entry& e : entries) {
        Sid sid = sid_of(e.sid);
        BOOL ok = e.type == ACCESS_ALLOWED_ACE_TYPE
                      ? AddAccessAllowedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, e.flags, e.mask, sid.data())
                      : AddAccessDeniedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, e.flags, e.mask, sid.data());
        EXPECT_TRUE(ok);
    }
    return acl;
}

// A self-relative descriptor as the file system hands one out.
std::vector<BYTE> make_descriptor(PACL acl, bool present, SECURITY_DESCRIPTOR_CONTROL control = 0) {
    SECURITY_DESCRIPTOR absolute;
    EXPECT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&absolute, present, acl, FALSE));
    if (control != 0) {
        EXPECT_TRUE(SetSecurityDescriptorControl(&absolute, control, control));
    }
    DWORD size = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &size);
    std::vector<BYTE> relative(size);
    EXPECT_TRUE(MakeSelfRelativeSD(&absolute, relative.data(), &size));
    return relative;
}

std::vector<Entry> entries_of(PACL acl) {
    std::vector<Entry> out;
    ACL_SIZE_INFORMATION info{};
    EXPECT_TRUE(GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* raw = nullptr;
        EXPECT_TRUE(GetAce(acl, i, &raw));
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        out.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                       sid_text(const_cast<DWORD*>(&ace->SidStart))});
    }
    return out;
}

SECURITY_DESCRIPTOR_CONTROL control_of(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    EXPECT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    return control;
}

constexpr BYTE kAllow = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDeny = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kInherited = INHERITED_ACE;
// Modify rights (0x1301BF): read, write, run and delete, never the access
// list or the owner (WRITE_DAC, WRITE_OWNER) or full control.
const Entry kNewUsersEntry{kAllow, 3, 0x1301BF, kUsers};

struct Built {
    install::GrantedDescriptor granted;
    bool ok = false;
};

void build(const std::vector<BYTE>& old, Built& out,
           const install::AclRoutines& routines = install::system_acl_routines()) {
    Sid users = well_known(WinBuiltinUsersSid);
    out.ok = install::build_granted_descriptor(const_cast<BYTE*>(old.data()), users.data(), out.granted, routines);
}

}  // namespace

TEST(UsersAcl, ExplicitUsersEntriesAreReplacedInheritedOnesKeptInOrder) {
    const std::vector<Entry> old_entries = {
        {kAllow, 0, FILE_ALL_ACCESS, kAdmins},
        {kAllow, 0, FILE_GENERIC_READ, kUsers},
        {kDeny, 0, FILE_WRITE_DATA, kEveryone},
        {kDeny, 0, FILE_WRITE_DATA, kUsers},
        {kAllow, kInherited | 3, FILE_GENERIC_READ, kUsers},
        {kAllow, kInherited, FILE_ALL_ACCESS, kSystem},
        {kAllow, 0, FILE_GENERIC_READ, kUsers},  // explicit after an inherited one: left alone
    };
    std::vector<BYTE> acl = make_acl(old_entries);
    Built b;
    build(make_descriptor(reinterpret_cast<PACL>(acl.data()), true), b);
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(IsValidSecurityDescriptor(b.granted.descriptor()));
    const std::vector<Entry> expected = {
        old_entries[0], old_entries[2], kNewUsersEntry, old_entries[4], old_entries[5], old_entries[6],
    };
    EXPECT_EQ(entries_of(b.granted.acl()), expected);
}

TEST(UsersAcl, WithOnlyInheritedEntriesTheNewOneComesFirst) {
    const std::vector<Entry> old_entries = {
        {kAllow, kInherited, FILE_ALL_ACCESS, kSystem},
        {kAllow, kInherited, FILE_ALL_ACCESS, kAdmins},
    };
    std::vector<BYTE> acl = make_acl(old_entries);
    Built b;
    build(make_descriptor(reinterpret_cast<PACL>(acl.data()), true), b);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(entries_of(b.granted.acl()), (std::vector<Entry>{kNewUsersEntry, old_entries[0], old_entries[1]}));
}

TEST(UsersAcl, NullEmptyOrMissingListGivesOnlyTheUsersEntry) {
    std::vector<BYTE> empty = make_acl({});
    for (const std::vector<BYTE>& old :
         {make_descriptor(nullptr, true), make_descriptor(nullptr, false),
          make_descriptor(reinterpret_cast<PACL>(empty.data()), true)}) {
        Built b;
        build(old, b);
        ASSERT_TRUE(b.ok);
        EXPECT_EQ(entries_of(b.granted.acl()), std::vector<Entry>{kNewUsersEntry});
        BOOL present = FALSE, defaulted = TRUE;
        PACL acl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(b.granted.descriptor(), &present, &acl, &defaulted));
        EXPECT_TRUE(present);
        EXPECT_FALSE(defaulted);
        EXPECT_EQ(acl, b.granted.acl());
    }
}

TEST(UsersAcl, ProtectedAndAutomaticInheritanceBitsCarryOver) {
    std::vector<BYTE> acl = make_acl({{kAllow, 0, FILE_ALL_ACCESS, kAdmins}});
    const PACL list = reinterpret_cast<PACL>(acl.data());
    constexpr SECURITY_DESCRIPTOR_CONTROL kBits = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
    const struct {
        SECURITY_DESCRIPTOR_CONTROL old;
        SECURITY_DESCRIPTOR_CONTROL expected;
    } cases[] = {
        {0, 0},
        {SE_DACL_AUTO_INHERITED, SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED},
        {SE_DACL_AUTO_INHERIT_REQ, 0},
        {SE_DACL_PROTECTED, SE_DACL_PROTECTED},
        {SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED, kBits},
    };
    for (const auto& c : cases) {
        Built b;
        build(make_descriptor(list, true, c.old), b);
        ASSERT_TRUE(b.ok);
        EXPECT_EQ(control_of(b.granted.descriptor()) & kBits, c.expected) << "old control 0x" << std::hex << c.old;
        EXPECT_TRUE(control_of(b.granted.descriptor()) & SE_DACL_PRESENT);
    }
}

TEST(UsersAcl, WithoutTheOptionalRoutines) {
    std::vector<BYTE> acl = make_acl({{kAllow, kInherited, FILE_ALL_ACCESS, kSystem}});
    Built b;
    build(make_descriptor(reinterpret_cast<PACL>(acl.data()), true, SE_DACL_PROTECTED), b, install::AclRoutines{});
    ASSERT_TRUE(b.ok);
    // The plain add routine: the entry is not inherited by what a folder holds.
    EXPECT_EQ(entries_of(b.granted.acl()),
              (std::vector<Entry>{{kAllow, 0, 0x1301BF, kUsers}, {kAllow, kInherited, FILE_ALL_ACCESS, kSystem}}));
    EXPECT_EQ(control_of(b.granted.descriptor()) & SE_DACL_PROTECTED, 0);
}

TEST(UsersAcl, FullListFailsWithItsLine) {
    // A list so long that one more entry can't fit in the 64 KiB limit.
    std::vector<BYTE> acl(65532);
    const PACL list = reinterpret_cast<PACL>(acl.data());
    ASSERT_TRUE(InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION));
    Sid admins = well_known(WinBuiltinAdministratorsSid);
    while (AddAccessAllowedAce(list, ACL_REVISION, FILE_GENERIC_READ, admins.data())) {
    }
    SECURITY_DESCRIPTOR absolute;
    ASSERT_TRUE(InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE, list, FALSE));
    Sid users = well_known(WinBuiltinUsersSid);
    install::GrantedDescriptor granted;
    testing::internal::CaptureStdout();
    const bool ok = install::build_granted_descriptor(&absolute, users.data(), granted, install::system_acl_routines());
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(output.rfind("InitializeAcl() failed. Error ", 0), 0u) << output;
    EXPECT_EQ(output.back(), '\n');
    EXPECT_EQ(output.find('\n'), output.size() - 1);  // one line
}
