#pragma once
// The reader the cabinet decoder uses for a package file: it checks the
// signature, deciphers the enciphered blocks on the fly and hands the decoder
// an ordinary cabinet. Without a key it passes plain cabinets through.
//
// File access goes through two callbacks so that the same logic serves the
// Windows extraction (over the C runtime's low-level I/O) and the tests.

#include "package/blowfish.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

namespace package {

class PackageReader {
public:
    // Reads up to count bytes at the handle's file position; the number of
    // bytes read, or a negative value on failure.
    using RawRead = std::function<long(std::intptr_t handle, void* buffer, unsigned count)>;
    // Moves the handle's file position (origin 0 = from the start, as
    // SEEK_SET); the new position, or a negative value on failure.
    using RawSeek = std::function<long(std::intptr_t handle, long offset, int origin)>;

    // Error codes left in error() by a failed Read.
    static constexpr std::uint32_t kErrNone = 0;
    static constexpr std::uint32_t kErrNotCabinet = 2;          // neither "MSCF" nor "CRYP"
    static constexpr std::uint32_t kErrPlainWhereKeyed = 1007;  // "MSCF" while a key is set
    static constexpr std::uint32_t kErrKeyedWhereNone = 1008;   // "CRYP" while no key is set

    // Bytes of whole blocks one keyed read may span.
    static constexpr std::size_t kWorkBufferSize = 65536;

    // cipher may be null (no key); it is consulted on every read, so a key
    // scheduled later takes effect. It must outlive the reader.
    PackageReader(const BlowfishContext* cipher, RawRead raw_read, RawSeek raw_seek);

    PackageReader(const PackageReader&) = delete;
    PackageReader& operator=(const PackageReader&) = delete;

    void set_cipher(const BlowfishContext* cipher) { cipher_ = cipher; }

    // The decoder's read: bytes delivered to dest, or -1. A refused
    // signature also records its code in error(); a short or failed read of
    // the file records none. A failed read leaves the recorded position, and
    // the file's, where they were.
    // With a key, one read may span at most kWorkBufferSize bytes of blocks.
    long Read(std::intptr_t handle, void* dest, unsigned count);

    // Position bookkeeping for the decoder's open, seek and close. A handle
    // read without OnOpen starts at 0; a negative seek result (a failed
    // seek) leaves the recorded position alone.
    void OnOpen(std::intptr_t handle);
    void OnSeek(std::intptr_t handle, long new_position);
    void OnClose(std::intptr_t handle);

    // The recorded position of a handle, if it is open.
    std::optional<long> position(std::intptr_t handle) const;

    // The error of the last failed read; reads never clear it.
    std::uint32_t error() const { return error_; }
    void clear_error() { error_ = kErrNone; }

private:
    bool keyed() const { return cipher_ != nullptr && cipher_->key_set != 0; }
    bool window_holds(std::intptr_t handle, std::int64_t first, std::int64_t span) const;
    bool fill_window(std::intptr_t handle, std::int64_t position, std::int64_t first);
    long read_plain(std::intptr_t handle, void* dest, unsigned count);
    long read_keyed(std::intptr_t handle, long position, void* dest, unsigned count);
    bool check_signature(std::uint8_t* delivered);

    const BlowfishContext* cipher_;
    RawRead raw_read_;
    RawSeek raw_seek_;
    std::unique_ptr<std::uint8_t[]> buffer_;  // the work buffer, allocated once
    // The whole blocks the work buffer holds deciphered: the decoder reads
    // a data block's header and then its data, which one read of the file
    // into the buffer mostly covers. Handle -1: nothing held.
    std::intptr_t window_handle_ = -1;
    std::int64_t window_start_ = 0;
    std::int64_t window_size_ = 0;
    std::uint32_t window_key_ = 0;  // a subkey of the key it was deciphered with
    std::unordered_map<std::intptr_t, long> positions_;
    std::uint32_t error_ = kErrNone;
};

}  // namespace package
