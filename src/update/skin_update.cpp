#include "update/skin_update.h"

#include <windows.h>

#include <memory>
#include <string>

#include "install/plain_name.h"
#include "support/unique_handle.h"
#include "support/wide.h"
#include "update/signature_check.h"

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
    ready_.clear();
    if (!prepare(ime_name)) return 0;
    load_server_list(kSkinListPath);
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
        std::copy(std::begin(entry->digest), std::end(entry->digest), candidate->digest);
        std::copy(std::begin(entry->preview_digest), std::end(entry->preview_digest), candidate->preview_digest);
        candidates_.push_back(std::move(candidate));
    }
    return static_cast<int>(candidates_.size());
}

int ZZSKINZIPUpdate::fail(const wchar_t* format, const UpdateEntry& candidate, const wchar_t* reason) {
    last_failure_ = reason;
    return refuse(format, candidate);
}

int ZZSKINZIPUpdate::UpdateItem(UpdateEntry* candidate) {
    if (candidate == nullptr) return 0;
    ready_.erase(candidate);
    last_failure_.clear();
    const wchar_t* name = support::as_wide(candidate->name);
    support::TextSlot<128> message;
    message.format(kUpdatingFormat, name);
    post(message.c_str());

    DigestTag package_digest{};
    DigestTag preview_digest{};
    if (verifies()) {
        package_digest = parse_digest_text(candidate->digest);
        preview_digest = parse_digest_text(candidate->preview_digest);
        for (const DigestTag* tag : {&package_digest, &preview_digest}) {
            if (tag->status == DigestStatus::missing) return fail(kDigestMissingFormat, *candidate, kSkinNoDigest);
            if (tag->status == DigestStatus::malformed) return fail(kDigestMalformedFormat, *candidate, kSkinBadDigest);
        }
    }

    const wchar_t* address = support::as_wide(candidate->package_address);
    const support::PathSlot package = skin_package_file(temp_directory_, *candidate);
    if (!Download(address, package.c_str(), kPackageSizeLimit))
        return fail(kDownloadFailedFormat, *candidate, kSkinDownloadFailed);

    // The preview picture lies beside the package: its address + ".png".
    std::wstring preview_address(address);
    if (preview_address.size() > 255) preview_address.resize(255);
    preview_address += L".png";
    const support::PathSlot preview = skin_preview_file(temp_directory_, *candidate);
    if (!Download(preview_address.c_str(), preview.c_str(), kPreviewSizeLimit))
        return fail(kPreviewDownloadFailedFormat, *candidate, kSkinDownloadFailed);

    if (verifies()) {
        const std::pair<const support::PathSlot*, const DigestTag*> files[] = {{&package, &package_digest},
                                                                              {&preview, &preview_digest}};
        for (const auto& [file, tag] : files) {
            const support::UniqueHandle held(open_file_locked(file->c_str()));
            if (!held || !file_has_digest(held.get(), tag->digest)) {
                // A forged picture is not shown either.
                DeleteFileW(preview.c_str());
                return fail(kDigestMismatchFormat, *candidate, kSkinDigestMismatch);
            }
        }
        ready_[candidate] = package_digest.digest;
    } else {
        ready_[candidate] = std::nullopt;
    }
    return 1;
}

bool ZZSKINZIPUpdate::package_ready(const UpdateEntry& candidate) const {
    return ready_.count(&candidate) != 0;
}

bool ZZSKINZIPUpdate::install_package(const UpdateEntry& candidate) const {
    const auto ready = ready_.find(&candidate);
    if (ready == ready_.end()) return false;
    const support::PathSlot package = skin_package_file(temp_directory_, candidate);
    const support::UniqueHandle held(open_file_locked(package.c_str()));
    if (!held) return false;
    if (ready->second && !file_has_digest(held.get(), *ready->second)) return false;
    // Beside the installed skin and renamed over it, the old one kept until
    // the new one is in place.
    return replace_installed_file(package.c_str(), support::as_wide(candidate.path)) == 0;
}

}  // namespace update
