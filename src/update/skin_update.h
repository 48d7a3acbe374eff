#pragma once
// ZZSKINZIPUpdate: the skin-package engine. It reads the same settings as
// the driver engine but loads only the server's skin list, makes every
// listed SKINZIP entry a candidate (no version comparison) and, per
// candidate, only downloads: the package into the temporary directory as
// NAME.zip and its preview picture (the package address + ".png") as
// NAME.png. Installing the checked packages is the skin dialog's job.

#include "update/ime_update.h"

namespace update {

inline constexpr const wchar_t* kPreviewDownloadFailedFormat = L"\u3000\u3000下载%ls .png 失败";

class ZZSKINZIPUpdate : public ZZIMEUpdate {
public:
    // Downloads NAME.zip and NAME.png into the temporary directory. 1 when
    // both arrived; 0 with "　　下载NAME 失败" or "　　下载NAME .png 失败".
    int UpdateItem(UpdateEntry* candidate) override;
    // prepare(), then the skin list only. The number of server-list entries.
    int Initialize(const wchar_t* ime_name) override;
    // One candidate per SKINZIP entry, in list order, local version 0.
    int CollectCandidates() override;
    // Type 8: "%scolourful\%s.zip" when the install directory holds a
    // "colourful" folder, else "%sskin.zip"; other types as the driver
    // engine. (The driver engine's GetTargetPath carries the type-8 rule,
    // so this one is inherited.)
};

// The package and preview files of a skin candidate in the temporary
// directory: "%s%s.zip" and "%s%s.png".
support::PathSlot skin_package_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate);
support::PathSlot skin_preview_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate);

}  // namespace update
