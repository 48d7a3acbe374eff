#include "cabinet_writer.h"

#include "cabinet_format.h"
#include "deflater.h"
#include "folder_reader.h"
#include "tool_error.h"
#include "utf8.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

namespace imepack {

namespace {

// Blocks read and compressed together: 4 MiB keeps all cores busy without
// holding the whole input in memory.
constexpr std::size_t kBatchBlocks = 128;

std::string fold_case(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::uint64_t file_size(const CabinetFile& f) {
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&f.source)) return bytes->size();
    return f.size;
}

// Windows extracts names case-insensitively, and a name can't be both a
// file and a folder: either would make one file land on another.
void check_names_distinct(std::span<const CabinetFile> files) {
    std::set<std::string> names;
    std::set<std::string> folders;
    for (const CabinetFile& f : files) {
        const std::string folded = fold_case(f.name);
        if (!names.insert(folded).second) {
            throw InputError(f.name + ": another file has the same name (letter case aside)");
        }
        for (std::size_t at = folded.find('\\'); at != std::string::npos; at = folded.find('\\', at + 1)) {
            folders.insert(folded.substr(0, at));
        }
    }
    for (const CabinetFile& f : files) {
        if (folders.count(fold_case(f.name)) != 0) {
            throw InputError(f.name + ": the name is both a file and a folder");
        }
    }
}

struct FolderPlan {
    std::size_t first = 0;       // index of the folder's first file
    std::size_t count = 0;       // number of files
    std::uint64_t bytes = 0;     // uncompressed size
};

std::vector<FolderPlan> plan_folders(std::span<const CabinetFile> files, const CabinetLimits& limits) {
    const std::uint64_t max_bytes = static_cast<std::uint64_t>(limits.max_blocks_per_folder) * cab::kBlockSize;
    std::vector<FolderPlan> plan(1);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::uint64_t size = file_size(files[i]);
        if (size > max_bytes) {
            throw InputError(files[i].name + ": " + std::to_string(size) +
                             " bytes is more than a cabinet can hold in one file (" +
                             std::to_string(max_bytes) + " bytes)");
        }
        if (plan.back().count != 0 && plan.back().bytes + size > max_bytes) {
            plan.push_back(FolderPlan{i, 0, 0});
        }
        plan.back().count += 1;
        plan.back().bytes += size;
    }
    return plan;
}

void append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void append_header(std::vector<std::uint8_t>& out, std::size_t folders, std::size_t files) {
    out.insert(out.end(), {'M', 'S', 'C', 'F'});
    append32(out, 0);  // reserved
    append32(out, 0);  // cabinet size, set at the end
    append32(out, 0);  // reserved
    append32(out, static_cast<std::uint32_t>(cab::kHeaderSize + folders * cab::kFolderEntrySize));
    append32(out, 0);  // reserved
    out.push_back(cab::kVersionMinor);
    out.push_back(cab::kVersionMajor);
    append16(out, static_cast<std::uint16_t>(folders));
    append16(out, static_cast<std::uint16_t>(files));
    append16(out, 0);  // flags: no reserve, no neighbours
    append16(out, 0);  // set id
    append16(out, 0);  // index in the set
}

void append_file_entries(std::vector<std::uint8_t>& out, std::span<const CabinetFile> files,
                         const std::vector<FolderPlan>& plan) {
    for (std::size_t folder = 0; folder < plan.size(); ++folder) {
        std::uint64_t offset = 0;
        for (std::size_t i = plan[folder].first; i < plan[folder].first + plan[folder].count; ++i) {
            const CabinetFile& f = files[i];
            std::uint16_t attributes = f.attributes & ~cab::kAttribNameIsUtf8;
            if (!is_ascii(f.name)) attributes |= cab::kAttribNameIsUtf8;
            append32(out, static_cast<std::uint32_t>(file_size(f)));
            append32(out, static_cast<std::uint32_t>(offset));
            append16(out, static_cast<std::uint16_t>(folder));
            append16(out, f.dos_date);
            append16(out, f.dos_time);
            append16(out, attributes);
            out.insert(out.end(), f.name.begin(), f.name.end());
            out.push_back(0);
            offset += file_size(f);
        }
    }
}

// One block's CFDATA payload: stored as is, or "CK" and deflate; a block
// that deflate can't shrink becomes one stored deflate block.
std::size_t encode_block(Deflater* deflater, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    if (deflater == nullptr) {
        std::copy(in.begin(), in.end(), out.begin());
        return in.size();
    }
    out[0] = 'C';
    out[1] = 'K';
    const std::size_t stored_size = 5 + in.size();
    const std::size_t packed = deflater->deflate(in, out.subspan(2, stored_size - 1));
    if (packed != 0) return 2 + packed;
    out[2] = 0x01;  // final block, type 0 (stored), padded to the byte
    cab::put16(out, 3, static_cast<std::uint16_t>(in.size()));
    cab::put16(out, 5, static_cast<std::uint16_t>(~in.size()));
    std::copy(in.begin(), in.end(), out.begin() + 7);
    return 2 + stored_size;
}

// Compresses the blocks of one batch on all workers.
class BatchEncoder {
public:
    BatchEncoder(Compression compression, unsigned threads) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        workers_ = threads;
        if (compression == Compression::Mszip) {
            for (unsigned i = 0; i < threads; ++i) deflaters_.push_back(std::make_unique<Deflater>(kDeflateLevel));
        }
        payloads_.resize(kBatchBlocks, std::vector<std::uint8_t>(cab::kMaxBlockPayload));
        sizes_.resize(kBatchBlocks);
    }

    // Encodes `data` as ceil(size / 32 KiB) blocks and appends them as CFDATA.
    std::size_t encode_and_append(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
        const std::size_t blocks = (data.size() + cab::kBlockSize - 1) / cab::kBlockSize;
        std::atomic<std::size_t> next{0};
        auto work = [&](unsigned worker) {
            Deflater* deflater = deflaters_.empty() ? nullptr : deflaters_[worker].get();
            for (std::size_t b = next++; b < blocks; b = next++) {
                const auto in = data.subspan(b * cab::kBlockSize, std::min(cab::kBlockSize, data.size() - b * cab::kBlockSize));
                sizes_[b] = encode_block(deflater, in, payloads_[b]);
            }
        };
        {
            std::vector<std::jthread> pool;
            const unsigned count = static_cast<unsigned>(std::min<std::size_t>(workers_, blocks));
            for (unsigned w = 1; w < count; ++w) pool.emplace_back(work, w);
            work(0);
        }
        for (std::size_t b = 0; b < blocks; ++b) {
            const auto uncompressed = static_cast<std::uint16_t>(std::min(cab::kBlockSize, data.size() - b * cab::kBlockSize));
            const std::span<const std::uint8_t> payload(payloads_[b].data(), sizes_[b]);
            append32(out, cab::data_block_checksum(payload, uncompressed));
            append16(out, static_cast<std::uint16_t>(payload.size()));
            append16(out, uncompressed);
            out.insert(out.end(), payload.begin(), payload.end());
        }
        return blocks;
    }

private:
    unsigned workers_ = 1;
    std::vector<std::unique_ptr<Deflater>> deflaters_;
    std::vector<std::vector<std::uint8_t>> payloads_;
    std::vector<std::size_t> sizes_;
};

void check_size(const std::vector<std::uint8_t>& out, const CabinetLimits& limits) {
    if (out.size() > limits.max_cabinet_size) {
        throw InputError("the cabinet would be larger than " + std::to_string(limits.max_cabinet_size) +
                         " bytes, the format's limit; pack less into it");
    }
}

// Appends the folder's data blocks; returns how many there are.
std::size_t append_folder_data(std::span<const CabinetFile> files, BatchEncoder& encoder,
                               const CabinetLimits& limits, std::vector<std::uint8_t>& out) {
    FolderReader reader(files);
    std::vector<std::uint8_t> batch(kBatchBlocks * cab::kBlockSize);
    std::size_t blocks = 0;
    for (;;) {
        const std::size_t got = reader.read(batch);
        if (got == 0) break;
        blocks += encoder.encode_and_append(std::span(batch).first(got), out);
        check_size(out, limits);
        if (got < batch.size()) break;
    }
    return blocks;
}

}  // namespace

std::string stored_name_problem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > cab::kMaxNameBytes) {
        return "the name is " + std::to_string(name.size()) +
               " bytes long; a cabinet holds names of up to 255 bytes (UTF-8)";
    }
    if (!utf8_to_utf16(name)) return "the name isn't valid UTF-8";
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            const std::string_view part(name.data() + part_start, i - part_start);
            if (part.empty() || part == "." || part == "..") return "the name has an empty, \".\" or \"..\" part";
            part_start = i + 1;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
            return "the name holds a character that Windows doesn't allow in file names";
        }
    }
    return {};
}

std::vector<std::uint8_t> write_cabinet(std::span<const CabinetFile> files, const CabinetOptions& options) {
    if (files.empty()) throw InputError("there is nothing to pack: a cabinet needs at least one file");
    if (files.size() > options.limits.max_files) {
        throw InputError(std::to_string(files.size()) + " files are more than a cabinet can hold (" +
                         std::to_string(options.limits.max_files) + ")");
    }
    for (const CabinetFile& f : files) {
        if (const std::string problem = stored_name_problem(f.name); !problem.empty()) {
            throw InputError(f.name + ": " + problem);
        }
    }
    check_names_distinct(files);
    const std::vector<FolderPlan> plan = plan_folders(files, options.limits);

    std::vector<std::uint8_t> out;
    append_header(out, plan.size(), files.size());
    const std::size_t folder_entries = out.size();
    out.resize(out.size() + plan.size() * cab::kFolderEntrySize);
    append_file_entries(out, files, plan);
    check_size(out, options.limits);

    const std::uint16_t type = options.compression == Compression::Mszip ? cab::kCompressMszip : cab::kCompressNone;
    BatchEncoder encoder(options.compression, options.threads);
    for (std::size_t folder = 0; folder < plan.size(); ++folder) {
        const auto data_start = static_cast<std::uint32_t>(out.size());
        const std::size_t blocks =
            append_folder_data(files.subspan(plan[folder].first, plan[folder].count), encoder, options.limits, out);
        const std::size_t entry = folder_entries + folder * cab::kFolderEntrySize;
        cab::put32(out, entry, data_start);
        cab::put16(out, entry + 4, static_cast<std::uint16_t>(blocks));
        cab::put16(out, entry + 6, type);
    }
    cab::put32(out, 8, static_cast<std::uint32_t>(out.size()));
    return out;
}

}  // namespace imepack
