#include "support/version_block.h"

#include <string>

namespace support {
namespace {

constexpr std::size_t kHeaderBytes = 6;  // length, value length, type
constexpr std::size_t kMaxLength = 0xFFFF;

constexpr std::size_t align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

std::uint16_t read16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void write16(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

struct Block {
    std::size_t start = 0;
    std::size_t length = 0;  // the total length field
    std::uint16_t value_length = 0;
    std::uint16_t type = 0;
    std::u16string key;
    std::size_t after_key = 0;  // the 4-byte boundary after the key's NUL

    std::size_t end() const { return start + length; }
};

// Reads the block at `at`, which must lie wholly before `limit`.
std::optional<Block> read_block(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit) {
    if (at + kHeaderBytes > limit) return std::nullopt;
    Block block;
    block.start = at;
    block.length = read16(bytes, at);
    block.value_length = read16(bytes, at + 2);
    block.type = read16(bytes, at + 4);
    if (block.length < kHeaderBytes + 2 || block.end() > limit) return std::nullopt;
    for (std::size_t p = at + kHeaderBytes; p + 1 < block.end(); p += 2) {
        const char16_t unit = read16(bytes, p);
        if (unit == u'\0') {
            block.after_key = align4(p + 2);
            return block;
        }
        block.key.push_back(unit);
    }
    return std::nullopt;  // the key has no NUL inside the block
}

// Calls visit(child) for each child of `parent`, the first one at `first`.
// False when a child is damaged.
template <typename Visit>
bool for_each_child(std::span<const std::uint8_t> bytes, const Block& parent, std::size_t first, Visit visit) {
    for (std::size_t at = first; at < parent.end(); ) {
        std::optional<Block> child = read_block(bytes, at, parent.end());
        if (!child || !visit(*child)) return false;
        at = align4(child->end());
    }
    return true;
}

// One String block to replace, with what its replacement looks like.
struct Edit {
    std::size_t start = 0;
    std::size_t old_length = 0;
    std::vector<std::uint8_t> block;  // the new String block, padded to 4
    std::size_t new_length = 0;       // its length field (without padding)

    std::size_t old_padded_end() const { return align4(start + old_length); }
    std::ptrdiff_t growth() const {
        return static_cast<std::ptrdiff_t>(block.size()) - static_cast<std::ptrdiff_t>(align4(old_length));
    }
};

std::vector<std::uint8_t> build_string_block(std::u16string_view key, std::u16string_view text, std::size_t& length) {
    std::vector<std::uint8_t> block(kHeaderBytes);
    auto put_text = [&block](std::u16string_view units) {
        for (char16_t unit : units) {
            block.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            block.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        block.push_back(0);
        block.push_back(0);
    };
    put_text(key);
    block.resize(align4(block.size()));
    put_text(text);
    length = block.size();
    write16(block, 0, length & 0xFFFF);
    write16(block, 2, (text.size() + 1) & 0xFFFF);
    write16(block, 4, 1);
    block.resize(align4(block.size()));
    return block;
}

// Where a block's start in the old resource lands in the new one: behind
// every replaced String before it, moved by their growth.
std::size_t moved_start(std::size_t position, const std::vector<Edit>& edits) {
    std::ptrdiff_t shift = 0;
    for (const Edit& edit : edits)
        if (edit.old_padded_end() <= position) shift += edit.growth();
    return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) + shift);
}

// Where a block's end lands. An end that falls at or inside the end of a
// replaced String (padding included) belongs to a block whose last child
// that String is: it moves to the new String's exact end.
std::size_t moved_end(std::size_t position, const std::vector<Edit>& edits) {
    std::ptrdiff_t shift = 0;
    for (const Edit& edit : edits) {
        if (position <= edit.start) break;
        if (position <= edit.old_padded_end())
            return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(edit.start + edit.new_length) + shift);
        shift += edit.growth();
    }
    return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) + shift);
}

// A block whose length field must follow the edits.
struct Container {
    std::size_t start;
    std::size_t end;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> replace_version_string(std::span<const std::uint8_t> info,
                                                                 std::u16string_view key,
                                                                 std::u16string_view text) {
    if (const std::size_t nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);

    const std::optional<Block> root = read_block(info, 0, info.size());
    if (!root) return std::nullopt;
    const std::size_t value_bytes = root->type == 1 ? std::size_t{root->value_length} * 2 : root->value_length;
    const std::size_t first_child = align4(root->after_key + value_bytes);

    std::vector<Edit> edits;
    std::vector<Container> containers;  // tables and "StringFileInfo" blocks holding an edit
    const bool intact = for_each_child(info, *root, first_child, [&](const Block& file_info) {
        if (file_info.key != u"StringFileInfo") return true;
        const std::size_t edits_before_file_info = edits.size();
        const bool tables_intact = for_each_child(info, file_info, file_info.after_key, [&](const Block& table) {
            const std::size_t edits_before_table = edits.size();
            const bool strings_intact = for_each_child(info, table, table.after_key, [&](const Block& string) {
                if (string.key != key) return true;
                Edit edit;
                edit.start = string.start;
                edit.old_length = string.length;
                edit.block = build_string_block(key, text, edit.new_length);
                edits.push_back(std::move(edit));
                return true;
            });
            if (edits.size() != edits_before_table) containers.push_back({table.start, table.end()});
            return strings_intact;
        });
        if (edits.size() != edits_before_file_info) containers.push_back({file_info.start, file_info.end()});
        return tables_intact;
    });
    if (!intact || edits.empty()) return std::nullopt;

    // The old bytes around the replaced Strings, up to the root's end.
    std::vector<std::uint8_t> out;
    std::size_t copied = 0;
    for (const Edit& edit : edits) {
        out.insert(out.end(), info.begin() + static_cast<std::ptrdiff_t>(copied),
                   info.begin() + static_cast<std::ptrdiff_t>(edit.start));
        out.insert(out.end(), edit.block.begin(), edit.block.end());
        copied = edit.old_padded_end() < root->end() ? edit.old_padded_end() : root->end();
    }
    out.insert(out.end(), info.begin() + static_cast<std::ptrdiff_t>(copied),
               info.begin() + static_cast<std::ptrdiff_t>(root->end()));

    const std::size_t root_length = moved_end(root->end(), edits);
    if (root_length > kMaxLength || root_length > out.size()) return std::nullopt;
    out.resize(root_length);
    write16(out, 0, root_length);
    for (const Container& container : containers) {
        const std::size_t start = moved_start(container.start, edits);
        const std::size_t length = moved_end(container.end, edits) - start;
        if (length > kMaxLength) return std::nullopt;
        write16(out, start, length);
    }
    for (const Edit& edit : edits)
        if (edit.new_length > kMaxLength) return std::nullopt;
    return out;
}

}  // namespace support
