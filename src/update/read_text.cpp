#include "update/read_text.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "support/unique_handle.h"
#include "support/wide.h"
#include "update/list_text.h"

namespace update {
namespace {

// No decoding road makes more units than there are bytes, so a file below
// this size always has a length that fits the reader's 32-bit count.
constexpr std::uint64_t kMaxTextBytes = INT32_MAX;

struct StreamCloser {
    void operator()(std::FILE* stream) const noexcept { std::fclose(stream); }
};
using UniqueStream = std::unique_ptr<std::FILE, StreamCloser>;

// The file's bytes through a read-only mapping, handed to `use` while the
// view exists. Nothing when the file can't be opened, mapped or viewed that
// way; false when it is too large.
template <typename Use>
std::optional<bool> with_mapped_bytes(const wchar_t* name, Use use) {
    support::UniqueHandle file(
        CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return std::nullopt;
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxTextBytes) return false;
    support::UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return std::nullopt;  // an empty file can't be mapped
    support::UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return std::nullopt;
    return use(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(view.get()),
                                             static_cast<std::size_t>(size.QuadPart)));
}

// The same through a buffered stream into a heap block of the file's size.
template <typename Use>
bool with_streamed_bytes(const wchar_t* name, Use use) {
    UniqueStream stream(_wfopen(name, L"rb"));
    if (!stream) return false;
    if (_fseeki64(stream.get(), 0, SEEK_END) != 0) return false;
    const long long size = _ftelli64(stream.get());
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxTextBytes || _fseeki64(stream.get(), 0, SEEK_SET) != 0)
        return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    bytes.resize(bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), stream.get()));
    return use(std::span<const std::uint8_t>(bytes));
}

}  // namespace

std::u16string ansi_code_page_text(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const auto* source = reinterpret_cast<const char*>(bytes.data());
    const int count = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, source, count, nullptr, 0);
    if (units <= 0) return {};
    std::u16string text(static_cast<std::size_t>(units), u'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, source, count, support::as_wide(text.data()), units);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

bool READTEXT::decode(std::span<const std::uint8_t> bytes) {
    text_ = decode_list_text(bytes, ansi_code_page_text);
    has_text_ = true;
    return true;
}

bool READTEXT::Load(const wchar_t* file_name) {
    text_ = std::u16string();
    has_text_ = false;
    file_name_.assign(file_name != nullptr ? file_name : L"");
    const auto use = [this](std::span<const std::uint8_t> bytes) { return decode(bytes); };
    try {
        if (const std::optional<bool> mapped = with_mapped_bytes(file_name_.c_str(), use)) return *mapped;
        return with_streamed_bytes(file_name_.c_str(), use);
    } catch (const std::bad_alloc&) {
        // A text too large for memory is a file that can't be read, not the
        // end of the program.
        text_ = std::u16string();
        has_text_ = false;
        return false;
    }
}

std::u16string READTEXT::take_text() {
    has_text_ = false;
    return std::exchange(text_, std::u16string());
}

}  // namespace update
