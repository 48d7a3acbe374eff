#pragma once
// Replacing a file so that no reader, and no machine that loses power half
// way, ever finds a partly written file under its name: the new content is
// written into a new file beside the target (same folder, so same volume)
// and then renamed over the target in one step. Until that rename the
// target is the old file; after it, the whole new one.

#include <windows.h>

#include "support/text_slot.h"

namespace support {

// The rename that puts a finished file in place of another: replacing it,
// and on the disk before the call returns.
inline constexpr DWORD kReplaceFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// A name for a new file beside `target`, in the same folder: "~zz", eight
// hexadecimal digits (different at every call of the process) and
// `ending` (".new", ".old"). false when the path doesn't fit.
bool path_beside(PathSlot& beside, const wchar_t* target, const wchar_t* ending);

// Called with the name of the new file before it is made (a journal records
// it, so that a run killed while it copies leaves nothing that nobody
// removes); false stops the replacement.
using BesideHook = bool (*)(void* context, const wchar_t* beside);

// Copies `source` into a new file beside `target` and renames that over
// `target` (kReplaceFlags). The new file is made in the target's folder, so
// it gets that folder's inherited rights, as any file made there does.
// 0 on success, else the Windows error (ERROR_DISK_FULL, ERROR_ACCESS_DENIED
// for a target in use...); on failure `target` is as it was and no new file
// is left beside it.
DWORD copy_then_rename(const wchar_t* source, const wchar_t* target, BesideHook hook = nullptr,
                       void* context = nullptr);

// Keeps the file at `target` as it is now under `kept` (a new name beside
// it, from path_beside): a second name for the same file where the volume
// has them (nothing is copied, and the target stays in place), else a
// copy. 0 or the Windows error; on failure nothing is left at `kept`.
DWORD keep_beside(const wchar_t* target, PathSlot& kept);

}  // namespace support
