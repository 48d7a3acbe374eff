#pragma once
// ZZSKINZIPUpdate: the skin-package engine. It reads the same settings as
// the driver engine but loads only the server's skin list, makes every
// listed SKINZIP entry a candidate (no version comparison) and, per
// candidate, only downloads: the package into the temporary directory as
// NAME.zip and its preview picture (the package address + ".png") as
// NAME.png. Installing the checked packages is the skin dialog's job.

#include <map>
#include <string>

#include "update/ime_update.h"

namespace update {

inline constexpr const wchar_t* kPreviewDownloadFailedFormat = L"\u3000\u3000下载%ls .png 失败";
// The few words a failed skin row shows after "失败：".
inline constexpr const wchar_t* kSkinDownloadFailed = L"下载失败";
inline constexpr const wchar_t* kSkinNoDigest = L"列表无摘要";
inline constexpr const wchar_t* kSkinBadDigest = L"摘要格式不对";
inline constexpr const wchar_t* kSkinDigestMismatch = L"摘要不符";

class ZZSKINZIPUpdate : public ZZIMEUpdate {
public:
    // Downloads NAME.zip and NAME.png into the download folder. 1 when
    // both arrived (and, with a key, both have their listed digests); 0
    // with "　　下载NAME 失败", "　　下载NAME .png 失败" or the digest's
    // message otherwise, and last_failure() says why in a few words.
    int UpdateItem(UpdateEntry* candidate) override;
    // prepare(), then the skin list only. The number of server-list entries.
    int Initialize(const wchar_t* ime_name) override;
    // One candidate per SKINZIP entry, in list order, local version 0.
    int CollectCandidates() override;
    // Type 8: "%scolourful\%s.zip" when the install directory holds a
    // "colourful" folder, else "%sskin.zip"; other types as the driver
    // engine. (The driver engine's GetTargetPath carries the type-8 rule,
    // so this one is inherited.)

    // Whether this run downloaded (and, with a key, checked) the
    // candidate's package: only such a package may be installed.
    bool package_ready(const UpdateEntry& candidate) const;
    // Copies the candidate's package over its path, holding the package
    // so that nobody changes it meanwhile and checking its digest once
    // more. False when the package isn't ready, has changed, or the copy
    // fails.
    bool install_package(const UpdateEntry& candidate) const;
    // Why the last UpdateItem failed, in a few words; empty after success.
    const std::wstring& last_failure() const noexcept { return last_failure_; }

private:
    int fail(const wchar_t* format, const UpdateEntry& candidate, const wchar_t* reason);

    // Candidates whose package this run has, with the digest it was checked
    // against (none when nothing is verified).
    std::map<const UpdateEntry*, std::optional<Sha256Digest>> ready_;
    std::wstring last_failure_;
};

// The package and preview files of a skin candidate in the temporary
// directory: "%s%s.zip" and "%s%s.png".
support::PathSlot skin_package_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate);
support::PathSlot skin_preview_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate);

}  // namespace update
