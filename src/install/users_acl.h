#pragma once
// Building the access list that opens an object to the local Users group,
// in memory, from the object's present security descriptor. Kept apart
// from reading and writing files so it can be checked against any given
// descriptor.

#include <windows.h>

#include <cstddef>

namespace install {

// A zero-filled block from the process heap, freed when it goes.
class HeapBlock {
public:
    HeapBlock() = default;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { reset(); }

    // False, with the block empty, when the heap can't give `bytes`.
    bool allocate(std::size_t bytes);
    void reset();
    void* get() const { return block_; }

private:
    void* block_ = nullptr;
};

// The entry added: modify rights (read, write, run, delete; not the
// right to change the access list or the owner), inherited by everything
// a folder holds. Only data gets it: code the input method runs or loads
// keeps its folder's default rights, under which Users read and run.
inline constexpr ACCESS_MASK kUsersAccessMask =
    FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;  // 0x001301BF
inline constexpr DWORD kUsersInheritance = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;  // 3

// The local Users group by its well-known identifier (S-1-5-32-545), which
// every language of Windows has; its localised name differs.
class UsersSid {
public:
    // False, with the line "CreateWellKnownSid() failed. Error %d" written,
    // when the system can't form it.
    bool create();
    PSID get() { return bytes_; }

private:
    alignas(DWORD) BYTE bytes_[SECURITY_MAX_SID_SIZE] = {};
};

// The optional routines the list is built with, looked up by name in
// "advapi32.dll"; a null one is skipped as on systems that lack it.
struct AclRoutines {
    BOOL(WINAPI* add_access_allowed_ace_ex)(PACL, DWORD, DWORD, DWORD, PSID) = nullptr;
    BOOL(WINAPI* set_security_descriptor_control)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                  SECURITY_DESCRIPTOR_CONTROL) = nullptr;
};
AclRoutines system_acl_routines();

// A new absolute security descriptor and the access list it points to.
class GrantedDescriptor {
public:
    GrantedDescriptor() = default;
    GrantedDescriptor(const GrantedDescriptor&) = delete;
    GrantedDescriptor& operator=(const GrantedDescriptor&) = delete;

    PSECURITY_DESCRIPTOR descriptor() { return &descriptor_; }
    PACL acl() const { return static_cast<PACL>(acl_.get()); }

private:
    friend bool build_granted_descriptor(PSECURITY_DESCRIPTOR, PSID, GrantedDescriptor&, const AclRoutines&);
    SECURITY_DESCRIPTOR descriptor_{};
    HeapBlock acl_;
};

// Builds into `granted` a descriptor whose discretionary access list is
// `old`'s with the Users entry put in:
// - `old`'s explicit entries, in order, without those for `users`;
// - the new entry: allowed, kUsersAccessMask, kUsersInheritance (without
//   inheritance when the extended add routine is missing);
// - `old`'s entries from the first inherited one on, in order, untouched.
// An object without a list (none, or a null one) gets a list that holds
// only the new entry. The new descriptor asks for automatic inheritance
// (0x100 | 0x400) when `old`'s list was automatically inherited, and is
// protected (0x1000) when `old`'s was; both when both.
// `old` may be absolute or self-relative. On failure it writes the failing
// call's line to the standard output and returns false.
bool build_granted_descriptor(PSECURITY_DESCRIPTOR old, PSID users, GrantedDescriptor& granted,
                              const AclRoutines& routines);

// The one line a failed security call leaves on the standard output:
// `text` followed by the system's last error code and a line feed.
void report_failure(const char* text);

}  // namespace install
