#pragma once
// Files replaced at the next restart: the session manager's list of
// pending renames ("PendingFileRenameOperations" under
// HKLM\System\CurrentControlSet\Control\Session Manager), which
// MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT fills. Each entry is a pair
// of NT paths ("\??\C:\..."): the source, then the target ("!" in front
// when it may be replaced, empty for a deletion).

#include <string>

namespace install {

// `path` as the system sees it at boot. A 32-bit program on 64-bit Windows
// sees SysWOW64 under the name of the system folder, but the list is
// carried out by the 64-bit session manager, for which that name is the
// 64-bit system folder: a path in the system folder is therefore recorded
// under SysWOW64's own name. Any other path is returned as it is.
std::wstring path_at_boot(const wchar_t* path);

// Schedules `staged` to replace `target` at the next restart. true when
// the system took the request (it needs administrator rights).
bool schedule_replacement(const wchar_t* staged, const wchar_t* target);

// Schedules the deletion of `path` at the next restart; true when the
// system took the request.
bool schedule_deletion(const wchar_t* path);

// Takes the newest pending rename whose source is `staged` (compared
// without regard to case) out of the list again; an earlier request for
// the same file (a run before that wasn't followed by a restart) stays.
// The value goes when it is left empty. true when one was taken out.
bool cancel_scheduled_replacement(const wchar_t* staged);

// The target that `staged` is to replace at the next restart, as a plain
// path ("!" and "\??\" taken off); empty when none is scheduled.
std::wstring scheduled_target(const wchar_t* staged);

}  // namespace install
