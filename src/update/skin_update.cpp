#include "update/skin_update.h"

#include <windows.h>

#include <memory>
#include <string>

#include "install/plain_name.h"
#include "support/wide.h"

namespace update {

support::PathSlot skin_package_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate) {
    support::PathSlot path;
    path.format(L"%ls%ls.zip", temp_directory.c_str(), support::as_wide(candidate.name));
    return path;
}

support::PathSlot skin_preview_file(const support::PathSlot& temp_directory, const UpdateEntry& candidate) {
    support::PathSlot path;
    path.format(L"%ls%ls.png", temp_directory.c_str(), support::as_wide(candidate.name));
    return path;
}

int ZZSKINZIPUpdate::Initialize(const wchar_t* ime_name) {
    if (!prepare(ime_name)) return 0;
    LoadList(update_list_address(kSkinListPath).c_str());
    return static_cast<int>(server_list_.size());
}

int ZZSKINZIPUpdate::CollectCandidates() {
    post(kCollectStart);
    for (const auto& entry : server_list_) {
        if (entry->type != kItemSkinZip) continue;
        // The name becomes a file name in the temporary directory and in
        // the skin folder: a name with a folder part (or none at all) would
        // write somewhere else.
        if (!install::is_plain_name(support::as_wide(entry->name))) continue;

        auto candidate = std::make_unique<UpdateEntry>();
        candidate->type = kItemSkinZip;
        std::copy(std::begin(entry->name), std::end(entry->name), candidate->name);
        GetTargetPath(candidate.get());
        candidate->local_version = 0;
        candidate->new_version = entry->new_version;
        std::copy(std::begin(entry->package_address), std::end(entry->package_address), candidate->package_address);
        candidates_.push_back(std::move(candidate));
    }
    return static_cast<int>(candidates_.size());
}

int ZZSKINZIPUpdate::UpdateItem(UpdateEntry* candidate) {
    if (candidate == nullptr) return 0;
    const wchar_t* name = support::as_wide(candidate->name);
    support::TextSlot<128> message;
    message.format(kUpdatingFormat, name);
    post(message.c_str());

    const wchar_t* address = support::as_wide(candidate->package_address);
    if (!Download(address, skin_package_file(temp_directory_, *candidate).c_str())) {
        message.format(kDownloadFailedFormat, name);
        post(message.c_str());
        return 0;
    }

    // The preview picture lies beside the package: its address + ".png".
    std::wstring preview_address(address);
    if (preview_address.size() > 255) preview_address.resize(255);
    preview_address += L".png";
    if (!Download(preview_address.c_str(), skin_preview_file(temp_directory_, *candidate).c_str())) {
        message.format(kPreviewDownloadFailedFormat, name);
        post(message.c_str());
        return 0;
    }
    return 1;
}

}  // namespace update
