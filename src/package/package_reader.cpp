#include "package/package_reader.h"

#include "package/package_container.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "support/buffer_error.h"

namespace package {
namespace {

constexpr int kSeekFromStart = 0;
constexpr std::int64_t kBlockMask = ~std::int64_t{kCipherBlock - 1};

}  // namespace

PackageReader::PackageReader(const BlowfishContext* cipher, RawRead raw_read, RawSeek raw_seek)
    : cipher_(cipher),
      raw_read_(std::move(raw_read)),
      raw_seek_(std::move(raw_seek)),
      buffer_(new (std::nothrow) std::uint8_t[kWorkBufferSize]) {
    // The reader can't work without its buffer: the program ends with the
    // out-of-memory box (support/fatal_error.h), as the buffers' own do.
    if (!buffer_) throw support::BufferError::out_of_memory();
}

void PackageReader::OnOpen(std::intptr_t handle) {
    positions_[handle] = 0;
    if (handle == window_handle_) window_handle_ = -1;
}

void PackageReader::OnSeek(std::intptr_t handle, long new_position) {
    // A failed seek leaves the file where it was, so its -1 is not a position.
    if (new_position >= 0) {
        positions_[handle] = new_position;
    }
}

void PackageReader::OnClose(std::intptr_t handle) {
    positions_.erase(handle);
    if (handle == window_handle_) window_handle_ = -1;
}

std::optional<long> PackageReader::position(std::intptr_t handle) const {
    const auto it = positions_.find(handle);
    if (it == positions_.end()) {
        return std::nullopt;
    }
    return it->second;
}

long PackageReader::Read(std::intptr_t handle, void* dest, unsigned count) {
    // A handle the table doesn't know is read from its start.
    long& recorded = positions_[handle];
    const long p = recorded;
    if (count == 0) {
        return 0;
    }
    const long delivered = keyed() ? read_keyed(handle, p, dest, count) : read_plain(handle, dest, count);
    // The signature is judged on the first read of the file's start.
    const bool refused = delivered >= static_cast<long>(kSignatureLength) && p == 0 &&
                         !check_signature(static_cast<std::uint8_t*>(dest));
    if (delivered < 0 || refused) {
        // A keyed read aligned to a block trusts the file to be where the
        // recorded position says, so a failed read puts it back there.
        raw_seek_(handle, p, kSeekFromStart);
        return -1;
    }
    recorded = p + delivered;
    return delivered;
}

long PackageReader::read_plain(std::intptr_t handle, void* dest, unsigned count) {
    const long got = raw_read_(handle, dest, count);
    return got < 0 ? -1 : got;
}

bool PackageReader::window_holds(std::intptr_t handle, std::int64_t first, std::int64_t span) const {
    return handle == window_handle_ && cipher_->p[0] == window_key_ && first >= window_start_ &&
           first + span <= window_start_ + window_size_;
}

// Fills the work buffer with as many whole blocks from `first` on as it
// holds (or the file has), deciphered. The file is at `position` before.
// Blocks of the window before that are still wanted (the decoder's next
// read began inside it and runs past its end) are moved to the front
// instead of being read and deciphered again: the decoder's reads are
// about half a buffer long, so that would be a third of the package
// deciphered twice.
bool PackageReader::fill_window(std::intptr_t handle, std::int64_t position, std::int64_t first) {
    std::int64_t kept = 0;
    if (handle == window_handle_ && cipher_->p[0] == window_key_ && first >= window_start_ &&
        first < window_start_ + window_size_) {
        kept = window_start_ + window_size_ - first;
        std::memmove(buffer_.get(), buffer_.get() + (first - window_start_), static_cast<std::size_t>(kept));
    }
    window_handle_ = -1;
    const std::int64_t from = first + kept;
    if (position != from && raw_seek_(handle, static_cast<long>(from), kSeekFromStart) != from) {
        return false;
    }
    const long got = raw_read_(handle, buffer_.get() + kept, static_cast<unsigned>(kWorkBufferSize - kept));
    if (got < 0) {
        return false;
    }
    const std::int64_t whole = (kept + got) & kBlockMask;
    const std::int64_t fresh = whole - kept;
    // The package's first bytes are stored in plain; everything after them
    // is enciphered block by block.
    const std::int64_t plain = std::clamp<std::int64_t>(static_cast<std::int64_t>(kPlainPrefix) - from, 0, fresh);
    decipher_blocks(*cipher_, buffer_.get() + kept + plain, static_cast<std::size_t>(fresh - plain));
    window_handle_ = handle;
    window_start_ = first;
    window_size_ = whole;
    window_key_ = cipher_->p[0];
    return true;
}

long PackageReader::read_keyed(std::intptr_t handle, long position, void* dest, unsigned count) {
    if (position < 0) {
        return -1;
    }
    // The whole blocks that cover bytes p .. p+n-1, aligned to the file.
    const std::int64_t p = position;
    const std::int64_t first = p & kBlockMask;
    const std::int64_t last = (p + count - 1) & kBlockMask;
    const std::int64_t span = last - first + static_cast<std::int64_t>(kCipherBlock);
    if (span > static_cast<std::int64_t>(kWorkBufferSize)) {
        return -1;
    }
    if (!window_holds(handle, first, span) && (!fill_window(handle, p, first) || !window_holds(handle, first, span))) {
        return -1;
    }
    std::memcpy(dest, buffer_.get() + (p - window_start_), count);
    // Leave the file where the decoder expects it: right after the bytes delivered.
    const std::int64_t next = p + count;
    if (raw_seek_(handle, static_cast<long>(next), kSeekFromStart) != next) {
        return -1;
    }
    return static_cast<long>(count);
}

bool PackageReader::check_signature(std::uint8_t* delivered) {
    if (std::memcmp(delivered, kCabSignature, kSignatureLength) == 0) {
        if (keyed()) {
            error_ = kErrPlainWhereKeyed;
            return false;
        }
        return true;
    }
    if (std::memcmp(delivered, kPackageSignature, kSignatureLength) == 0) {
        if (!keyed()) {
            error_ = kErrKeyedWhereNone;
            return false;
        }
        // The decoder is handed an ordinary cabinet.
        std::memcpy(delivered, kCabSignature, kSignatureLength);
        return true;
    }
    error_ = kErrNotCabinet;
    return false;
}

}  // namespace package
