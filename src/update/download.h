#pragma once
// Fetching one HTTP address into a local file: update lists, driver
// packages, skin packages and their preview pictures alike.

#include <cstdint>

#include "update/update_handlers.h"

namespace update {

// The bytes received so far by every download of this process that had a
// progress handler. It starts at 0, is never reset and wraps like the
// 32-bit counter it is; each progress notice carries its value, so what a
// dialog shows grows across all the downloads of a run.
std::int32_t download_byte_total() noexcept;

// The most a download may bring: a list, its signature, a package, a skin
// preview. A server that announces more, or sends more, fails the download.
inline constexpr std::uint64_t kListSizeLimit = 1u << 20;
inline constexpr std::uint64_t kSignatureSizeLimit = 1024;
inline constexpr std::uint64_t kPackageSizeLimit = 64u << 20;
inline constexpr std::uint64_t kPreviewSizeLimit = 8u << 20;

// 1 when the server answered "200" and the whole body is in `local_file`;
// 0 otherwise. An existing `local_file` is deleted first (0 when it can't
// be, before anything goes over the network). The body is read 511 bytes
// at a time, each piece written at once and, with a progress handler, added
// to the byte total and reported (the final empty read is reported too).
// A transfer that breaks off - a failed read, fewer bytes than the server's
// Content-Length, a failed write - is a failure: the partial file is
// removed; so is a body larger than `size_limit` (announced or received).
// On any other status no local file is created. Posts no messages.
int download_file(const UpdateHandlers& handlers, const wchar_t* address, const wchar_t* local_file,
                  std::uint64_t size_limit = kPackageSizeLimit);

}  // namespace update
