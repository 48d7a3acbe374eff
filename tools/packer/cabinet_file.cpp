#include "cabinet_file.h"

#include "cabinet_format.h"
#include "tool_error.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace imepack {

namespace {

struct Inflater {
    z_stream stream{};
    Inflater() {
        if (inflateInit2(&stream, -15) != Z_OK) throw InputError("out of memory for the inflater");
    }
    ~Inflater() { inflateEnd(&stream); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // One MSZIP block ("CK" and a whole deflate stream) onto the end of `out`.
    void block(std::span<const std::uint8_t> payload, std::size_t unpacked, std::vector<std::uint8_t>& out) {
        if (payload.size() < 2 || payload[0] != 'C' || payload[1] != 'K') {
            throw InputError("an MSZIP block doesn't start with \"CK\"");
        }
        inflateReset(&stream);
        const std::size_t history = std::min(out.size(), cab::kBlockSize);
        if (history != 0) inflateSetDictionary(&stream, out.data() + out.size() - history, static_cast<uInt>(history));
        const std::size_t at = out.size();
        out.resize(at + unpacked);
        stream.next_in = const_cast<Bytef*>(payload.data() + 2);
        stream.avail_in = static_cast<uInt>(payload.size() - 2);
        stream.next_out = out.data() + at;
        stream.avail_out = static_cast<uInt>(unpacked);
        if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.avail_out != 0) {
            throw InputError("an MSZIP block doesn't inflate to the size it states");
        }
    }
};

}  // namespace

std::vector<std::uint8_t> read_cabinet_file(const CabinetListing& listing, std::span<const std::uint8_t> cabinet,
                                            const CabinetFileEntry& file) {
    const CabinetFolderEntry& folder = listing.folders.at(file.folder);
    if (folder.compression != cab::kCompressNone && folder.compression != cab::kCompressMszip) {
        throw InputError("a folder compressed neither stored nor MSZIP");
    }
    const std::uint64_t needed = std::uint64_t{file.folder_offset} + file.size;
    std::vector<std::uint8_t> data;
    std::unique_ptr<Inflater> inflater;
    std::size_t at = folder.data_offset;
    // The blocks were checked to lie inside the cabinet and to hold the files.
    for (std::size_t i = 0; i < folder.blocks && data.size() < needed; ++i) {
        const std::uint16_t packed = cab::get16(cabinet, at + 4);
        const std::uint16_t unpacked = cab::get16(cabinet, at + 6);
        const auto payload = cabinet.subspan(at + cab::kDataHeaderSize, packed);
        if (folder.compression == cab::kCompressNone) {
            data.insert(data.end(), payload.begin(), payload.end());
        } else {
            if (!inflater) inflater = std::make_unique<Inflater>();
            inflater->block(payload, unpacked, data);
        }
        at += cab::kDataHeaderSize + packed;
    }
    if (data.size() < needed) throw InputError("a folder's data blocks hold fewer bytes than its files need");
    return {data.begin() + file.folder_offset, data.begin() + static_cast<std::ptrdiff_t>(needed)};
}

}  // namespace imepack
