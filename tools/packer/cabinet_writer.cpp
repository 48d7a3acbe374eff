#include "cabinet_writer.h"

#include "batch_encoder.h"
#include "cabinet_format.h"
#include "cabinet_names.h"
#include "folder_reader.h"
#include "tool_error.h"
#include "support/utf8.h"

#include <algorithm>
#include <array>

namespace imepack {

namespace {

std::uint64_t file_size(const CabinetFile& f) {
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&f.source)) return bytes->size();
    return f.size;
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
            if (!support::is_ascii(f.name)) attributes |= cab::kAttribNameIsUtf8;
            cab::append32(out, static_cast<std::uint32_t>(file_size(f)));
            cab::append32(out, static_cast<std::uint32_t>(offset));
            cab::append16(out, static_cast<std::uint16_t>(folder));
            cab::append16(out, f.dos_date);
            cab::append16(out, f.dos_time);
            cab::append16(out, attributes);
            out.insert(out.end(), f.name.begin(), f.name.end());
            out.push_back(0);
            offset += file_size(f);
        }
    }
}

void check_size(const std::vector<std::uint8_t>& out, const CabinetLimits& limits) {
    if (out.size() > limits.max_cabinet_size) {
        throw InputError("the cabinet would be larger than " + std::to_string(limits.max_cabinet_size) +
                         " bytes, the format's limit; pack less into it");
    }
}

// Appends the folder's data blocks; returns how many there are. Reading
// the next batch overlaps with compressing the current one.
std::size_t append_folder_data(std::span<const CabinetFile> files, BatchEncoder& encoder,
                               const CabinetOptions& options, std::uint64_t& done, std::vector<std::uint8_t>& out) {
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
        check_size(out, options.limits);
        done += got;
        if (options.progress) options.progress(done);
        std::swap(current, following);
        got = next_got;
    }
    return blocks;
}

}  // namespace

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
    BatchEncoder encoder(options.compression, options.best, options.threads);
    std::uint64_t done = 0;
    for (std::size_t folder = 0; folder < plan.size(); ++folder) {
        encoder.new_folder();
        const auto data_start = static_cast<std::uint32_t>(out.size());
        const std::size_t blocks =
            append_folder_data(files.subspan(plan[folder].first, plan[folder].count), encoder, options, done, out);
        const std::size_t entry = folder_entries + folder * cab::kFolderEntrySize;
        cab::put32(out, entry, data_start);
        cab::put16(out, entry + 4, static_cast<std::uint16_t>(blocks));
        cab::put16(out, entry + 6, type);
    }
    cab::put32(out, 8, static_cast<std::uint32_t>(out.size()));
    return out;
}

}  // namespace imepack
