#pragma once
// Folders that a tree removal must never take, whatever path a caller was
// handed: a tampered or mistyped install path must not wipe the system.

namespace app {

// True when `folder` must not be removed:
// - it is empty, relative ("foo", "\foo", "C:foo") or a device path
//   ("\\?\...", "\\.\..."), so what it names isn't plain;
// - it is a drive's root or a network share's root;
// - it is, or holds, the Windows, system or 32-bit system folder, a
//   Program Files folder, the common application data folder, the Fonts
//   folder, the profiles folder or the current user's profile;
// - it is a user-profile root: a folder directly inside the profiles folder.
// Paths are compared after the system has made them full (".", "..", "/")
// and long (8.3 names expanded), without regard to case and trailing
// backslashes.
bool is_protected_folder(const wchar_t* folder);

// True when nothing may be installed into `folder` nor removed from it as
// a tree: it is protected (above), or lies inside the Windows folder or a
// system folder (System32, SysWOW64, Fonts and the rest of Windows).
bool is_system_location(const wchar_t* folder);

// True when `folder` lies inside a user's profile (the profiles folder or
// the current user's profile): a user's own files live there.
bool is_inside_profile(const wchar_t* folder);

// True when `folder` or a folder above it is a link (a reparse point:
// junction, symbolic link, mount point), or the path can't be made full:
// what it names may then be anywhere.
bool passes_through_link(const wchar_t* folder);

}  // namespace app
