#include "cabinet_writer.h"

#include "cabinet_format.h"
#include "deflater.h"
#include "folder_reader.h"
#include "package/stored_name.h"
#include "tool_error.h"
#include "utf8.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
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
    std::array<std::uint8_t, cab::kHeaderSize> header{'M', 'S', 'C', 'F'};
    // Reserved fields stay 0; the cabinet size (offset 8) is set at the end.
    cab::put32(header, 16, static_cast<std::uint32_t>(cab::kHeaderSize + folders * cab::kFolderEntrySize));
    header[24] = cab::kVersionMinor;
    header[25] = cab::kVersionMajor;
    cab::put16(header, 26, static_cast<std::uint16_t>(folders));
    cab::put16(header, 28, static_cast<std::uint16_t>(files));
    // Flags (no reserve, no neighbours), set id and index in the set stay 0.
    for (const std::uint8_t b : header) out.push_back(b);
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

// Already compressed data (pictures, archives) has bytes spread evenly: a
// full block whose byte entropy is this close to 8 bits won't shrink, and
// skipping the match search for it saves most of its time. A random block
// measures about 7.994 bits; 16 KiB of such data repeated within a block
// measures below the limit and is still compressed.
bool looks_incompressible(std::span<const std::uint8_t> block) {
    if (block.size() != cab::kBlockSize) return false;
    // Four tables side by side keep runs of one byte from stalling on one counter.
    std::array<std::array<std::uint32_t, 256>, 4> part{};
    for (std::size_t i = 0; i < block.size(); i += 4) {
        ++part[0][block[i]];
        ++part[1][block[i + 1]];
        ++part[2][block[i + 2]];
        ++part[3][block[i + 3]];
    }
    double entropy = 0;
    const double total = static_cast<double>(block.size());
    for (std::size_t v = 0; v < 256; ++v) {
        const std::uint32_t c = part[0][v] + part[1][v] + part[2][v] + part[3][v];
        if (c != 0) entropy -= static_cast<double>(c) / total * std::log2(static_cast<double>(c) / total);
    }
    return entropy > 7.99;
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
    const std::size_t packed = looks_incompressible(in) ? 0 : deflater->deflate(in, out.subspan(2, stored_size - 1));
    if (packed != 0) return 2 + packed;
    out[2] = 0x01;  // final block, type 0 (stored), padded to the byte
    cab::put16(out, 3, static_cast<std::uint16_t>(in.size()));
    cab::put16(out, 5, static_cast<std::uint16_t>(~in.size()));
    std::copy(in.begin(), in.end(), out.begin() + 7);
    return 2 + stored_size;
}

// Compresses the blocks of one batch on all workers, in the background:
// the caller reads the next batch meanwhile.
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
        sums_.resize(kBatchBlocks);
    }

    // Starts encoding `data` as ceil(size / 32 KiB) blocks; `data` must stay
    // untouched until finish().
    void start(std::span<const std::uint8_t> data) {
        data_ = data;
        blocks_ = (data.size() + cab::kBlockSize - 1) / cab::kBlockSize;
        next_ = 0;
        const unsigned count = static_cast<unsigned>(std::min<std::size_t>(workers_, blocks_));
        for (unsigned w = 0; w < count; ++w) pool_.emplace_back([this, w] { work(w); });
    }

    // Waits for the workers.
    void wait() { pool_.clear(); }

    // Waits for the workers and appends the batch's blocks as CFDATA.
    std::size_t finish(std::vector<std::uint8_t>& out) {
        wait();
        for (std::size_t b = 0; b < blocks_; ++b) {
            append32(out, sums_[b]);
            append16(out, static_cast<std::uint16_t>(sizes_[b]));
            append16(out, block_size(b));
            out.insert(out.end(), payloads_[b].begin(), payloads_[b].begin() + static_cast<std::ptrdiff_t>(sizes_[b]));
        }
        return blocks_;
    }

private:
    std::uint16_t block_size(std::size_t b) const {
        return static_cast<std::uint16_t>(std::min(cab::kBlockSize, data_.size() - b * cab::kBlockSize));
    }

    void work(unsigned worker) {
        Deflater* deflater = deflaters_.empty() ? nullptr : deflaters_[worker].get();
        for (std::size_t b = next_++; b < blocks_; b = next_++) {
            sizes_[b] = encode_block(deflater, data_.subspan(b * cab::kBlockSize, block_size(b)), payloads_[b]);
            sums_[b] = cab::data_block_checksum(std::span(payloads_[b]).first(sizes_[b]), block_size(b));
        }
    }

    unsigned workers_ = 1;
    std::vector<std::unique_ptr<Deflater>> deflaters_;
    std::vector<std::vector<std::uint8_t>> payloads_;
    std::vector<std::size_t> sizes_;
    std::vector<std::uint32_t> sums_;
    std::span<const std::uint8_t> data_;
    std::size_t blocks_ = 0;
    std::atomic<std::size_t> next_{0};
    // Last, so that it is destroyed (its threads joined) before what they use.
    std::vector<std::jthread> pool_;
};

void check_size(const std::vector<std::uint8_t>& out, const CabinetLimits& limits) {
    if (out.size() > limits.max_cabinet_size) {
        throw InputError("the cabinet would be larger than " + std::to_string(limits.max_cabinet_size) +
                         " bytes, the format's limit; pack less into it");
    }
}

// Appends the folder's data blocks; returns how many there are. Reading
// the next batch overlaps with compressing the current one.
std::size_t append_folder_data(std::span<const CabinetFile> files, BatchEncoder& encoder,
                               const CabinetLimits& limits, std::vector<std::uint8_t>& out) {
    FolderReader reader(files);
    std::vector<std::uint8_t> current(kBatchBlocks * cab::kBlockSize);
    std::vector<std::uint8_t> following(current.size());
    // Declared after the buffers: on an error the workers stop using them first.
    struct WaitOnExit {
        BatchEncoder& encoder;
        ~WaitOnExit() { encoder.wait(); }
    } wait_on_exit{encoder};
    std::size_t got = reader.read(current);
    std::size_t blocks = 0;
    while (got != 0) {
        encoder.start(std::span(current).first(got));
        const std::size_t next_got = got < current.size() ? 0 : reader.read(following);
        blocks += encoder.finish(out);
        check_size(out, limits);
        std::swap(current, following);
        got = next_got;
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
    const auto wide = utf8_to_utf16(name);
    if (!wide) return "the name isn't valid UTF-8";
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            const std::string_view part(name.data() + part_start, i - part_start);
            if (part.empty() || part == "." || part == "..") return "the name has an empty, \".\" or \"..\" part";
            // Windows drops trailing dots and blanks: "a." would land on "a".
            if (part.back() == '.' || part.back() == ' ') return "a part of the name ends in a dot or a blank";
            part_start = i + 1;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
            return "the name holds a character that Windows doesn't allow in file names";
        }
    }
    // What the installer's extraction refuses (device names such as CON or
    // NUL) is refused here already, before the package ships.
    if (!package::is_contained_name(*wide)) return "the name is a device name such as CON, NUL or COM1";
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
    // Room for everything stored, so the cabinet never moves while it grows.
    std::uint64_t bound = 0;
    for (const CabinetFile& f : files) bound += file_size(f) + file_size(f) / cab::kBlockSize * 16 + f.name.size() + 40;
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bound + 1024, options.limits.max_cabinet_size)));
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
