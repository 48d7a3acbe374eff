#include "install/users_acl.h"

#include <cstdio>

namespace install {
namespace {

// Entry types whose identifier follows the header and mask directly.
bool identifier_of(const ACE_HEADER* ace, PSID* sid) {
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        break;
    default:
        return false;  // object entries keep their identifier elsewhere
    }
    constexpr std::size_t kSidOffset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
    if (ace->AceSize < kSidOffset + 8) return false;
    PSID candidate = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(ace) + kSidOffset);
    // Only an identifier that lies wholly inside its entry is read.
    const auto* bytes = static_cast<const BYTE*>(candidate);
    if (kSidOffset + 8 + 4u * bytes[1] > ace->AceSize || !IsValidSid(candidate)) return false;
    *sid = candidate;
    return true;
}

bool is_entry_for(const ACE_HEADER* ace, PSID users) {
    PSID sid = nullptr;
    return identifier_of(ace, &sid) && EqualSid(sid, users);
}

// Appends entries [from, count) of `old` to `acl`. Before the first
// inherited entry (`explicit_only`), entries for `users` are left out and
// the copy stops at the first inherited one; `next` says where.
bool copy_entries(PACL old, DWORD from, DWORD count, bool explicit_only, PSID users, PACL acl, DWORD* next) {
    DWORD index = from;
    for (; index < count; ++index) {
        void* entry = nullptr;
        if (!GetAce(old, index, &entry)) {
            report_failure("GetAce() failed. Error %d");
            return false;
        }
        const auto* ace = static_cast<const ACE_HEADER*>(entry);
        if (explicit_only && (ace->AceFlags & INHERITED_ACE) != 0) break;
        if (explicit_only && is_entry_for(ace, users)) continue;
        if (!AddAce(acl, ACL_REVISION, MAXDWORD, entry, ace->AceSize)) {
            report_failure("AddAce() failed. Error %d");
            return false;
        }
    }
    if (next != nullptr) *next = index;
    return true;
}

bool add_users_entry(PACL acl, PSID users, const AclRoutines& routines) {
    if (routines.add_access_allowed_ace_ex != nullptr) {
        if (!routines.add_access_allowed_ace_ex(acl, ACL_REVISION, kUsersInheritance, kUsersAccessMask, users)) {
            report_failure("AddAccessAllowedAceEx() failed. Error %d");
            return false;
        }
        return true;
    }
    if (!AddAccessAllowedAce(acl, ACL_REVISION, kUsersAccessMask, users)) {
        report_failure("AddAccessAllowedAce() failed. Error %d");
        return false;
    }
    return true;
}

// The old list's inheritance state carries over to the new descriptor.
bool carry_control_bits(PSECURITY_DESCRIPTOR old, PSECURITY_DESCRIPTOR descriptor, const AclRoutines& routines) {
    if (routines.set_security_descriptor_control == nullptr) return true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(old, &control, &revision)) {
        report_failure("GetSecurityDescriptorControl() failed.Error %d");
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL bits = 0;
    if (control & SE_DACL_AUTO_INHERITED) bits |= SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    // A protected list stays protected, automatically inherited or not:
    // otherwise the parent's entries could flow into it again.
    if (control & SE_DACL_PROTECTED) bits |= SE_DACL_PROTECTED;
    if (bits == 0) return true;
    if (!routines.set_security_descriptor_control(descriptor, bits, bits)) {
        report_failure("SetSecurityDescriptorControl() failed.Error %d");
        return false;
    }
    return true;
}

}  // namespace

bool HeapBlock::allocate(std::size_t bytes) {
    reset();
    block_ = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    return block_ != nullptr;
}

void HeapBlock::reset() {
    if (block_ != nullptr) HeapFree(GetProcessHeap(), 0, block_);
    block_ = nullptr;
}

bool UsersSid::create() {
    DWORD size = sizeof bytes_;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, bytes_, &size)) {
        report_failure("CreateWellKnownSid() failed. Error %d");
        return false;
    }
    return true;
}

AclRoutines system_acl_routines() {
    AclRoutines routines;
    if (HMODULE advapi = GetModuleHandleW(L"advapi32.dll"); advapi != nullptr) {
        routines.add_access_allowed_ace_ex = reinterpret_cast<decltype(routines.add_access_allowed_ace_ex)>(
            reinterpret_cast<void*>(GetProcAddress(advapi, "AddAccessAllowedAceEx")));
        routines.set_security_descriptor_control =
            reinterpret_cast<decltype(routines.set_security_descriptor_control)>(
                reinterpret_cast<void*>(GetProcAddress(advapi, "SetSecurityDescriptorControl")));
    }
    return routines;
}

void report_failure(const char* text) {
    const int error = static_cast<int>(GetLastError());
    std::printf(text, error);
    std::printf("\n");
    std::fflush(stdout);
}

bool build_granted_descriptor(PSECURITY_DESCRIPTOR old, PSID users, GrantedDescriptor& granted,
                              const AclRoutines& routines) {
    if (!InitializeSecurityDescriptor(&granted.descriptor_, SECURITY_DESCRIPTOR_REVISION)) {
        report_failure("InitializeSecurityDescriptor() failed.Error %d");
        return false;
    }

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL old_acl = nullptr;
    if (!GetSecurityDescriptorDacl(old, &present, &old_acl, &defaulted)) {
        report_failure("GetSecurityDescriptorDacl() failed. Error %d");
        return false;
    }
    ACL_SIZE_INFORMATION size{};
    size.AclBytesInUse = sizeof(ACL);  // no list: as an empty one
    if (present && old_acl != nullptr &&
        !GetAclInformation(old_acl, &size, sizeof size, AclSizeInformation)) {
        report_failure("GetAclInformation() failed. Error %d");
        return false;
    }
    if (!present) old_acl = nullptr;

    // Room for everything old and one allowed entry for the identifier.
    const DWORD acl_bytes = size.AclBytesInUse + GetLengthSid(users) + 2 * sizeof(DWORD);
    if (!granted.acl_.allocate(acl_bytes)) {
        report_failure("HeapAlloc() failed. Error %d");
        return false;
    }
    PACL acl = granted.acl();
    if (!InitializeAcl(acl, acl_bytes, ACL_REVISION)) {
        report_failure("InitializeAcl() failed. Error %d");
        return false;
    }

    const DWORD count = old_acl != nullptr ? size.AceCount : 0;
    DWORD first_inherited = 0;
    if (!copy_entries(old_acl, 0, count, true, users, acl, &first_inherited)) return false;
    if (!add_users_entry(acl, users, routines)) return false;
    if (!copy_entries(old_acl, first_inherited, count, false, users, acl, nullptr)) return false;

    if (!SetSecurityDescriptorDacl(&granted.descriptor_, TRUE, acl, FALSE)) {
        report_failure("SetSecurityDescriptorDacl() failed. Error %d");
        return false;
    }
    return carry_control_bits(old, &granted.descriptor_, routines);
}

}  // namespace install
