#pragma once
// Version resources of executable files on disk: reading version strings
// and numbers, rewriting one version string, and copying single resources
// (icons, bitmaps) from one file into another. Plain functions over file
// paths, keeping no state; results follow the program's convention of 1
// for success and 0 for failure.
//
// Strings are looked up through the file's translation table: for each
// (language, code page) entry in table order, the string table
// "\StringFileInfo\<language><code page>\" is asked for the key, and the
// first entry that has it wins. A string table whose language the
// translation table doesn't list is never consulted.

#include <cstddef>
#include <cstdint>
#include <span>

#include "support/version_number.h"

namespace support {

// Language argument of WriteVersionResource: the first language of the
// file's own translation table.
inline constexpr std::uint16_t kFileOwnLanguage = 0xFFFF;

// The text of version string `key` (e.g. "FileDescription") cut to
// capacity - 1 characters; empty when the file has no version resource or
// no such string.
void GetVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out, std::size_t capacity);

// The file's "FileVersion" string read as a version number (ParseVersion);
// 0 when the file is missing or has none.
VersionNumber GetFileVersion(const wchar_t* path);

// Replaces the file's version resource (type 16, name 1) in `language` by
// `count` bytes. A failed update leaves the file unchanged.
int WriteVersionResource(const wchar_t* path, std::uint16_t language, const void* bytes, std::uint32_t count);

// Gives version string `key` the text `text` in every string table that
// has it, and writes the resource back in the language of the first
// translation whose table has the key. 0 when no listed table has the key
// or the file can't be rewritten (the file is then unchanged).
int SetVersionString(const wchar_t* path, const wchar_t* key, const wchar_t* text);

// Copies resource (`type`, `name`) of `source` into `target`, in the
// language of the target's first translation. The source is loaded as a
// library. 0 when the target has no version information, its first
// language is 0 (neutral), or the resource can't be read or written; the
// target is then unchanged.
int CopyResource(const wchar_t* target, const wchar_t* source, std::uint16_t type, std::uint16_t name);

// A resource by its numeric type and name.
struct ResourceId {
    std::uint16_t type;
    std::uint16_t name;
};

// Hands `source`'s identity to `target` in one rewrite of the target: each
// resource of `resources` as CopyResource would, and each version string
// of `keys` that `source` has with a text (not empty) as SetVersionString
// would (the version resource then written in the language of each
// translation whose table had a changed key). What the target has already,
// byte for byte or text for text, is left alone; when that is everything,
// the target isn't rewritten at all. 0, with the target unchanged, when a
// resource can't be read from the source or the target has no first
// language for it (CopyResource's refusals), a carried text's key is in
// none of the target's tables, or the target can't be rewritten.
int CarryIdentity(const wchar_t* target, const wchar_t* source, std::span<const ResourceId> resources,
                  std::span<const wchar_t* const> keys);

}  // namespace support
