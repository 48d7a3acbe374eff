// The version-resource editor: it walks the block tree of a file's version
// information and replaces the text of String blocks. The reading of single
// values goes through the system (VerQueryValueW) and is not ours; the walk
// and the rewrite are, and they meet whatever a product file carries.
// A result must be a tree that the editor reads again, as long as its root
// says, and editing it again the same way must change nothing.

#include "fuzz_check.h"

#include "support/version_block.h"

#include <string>

namespace {

std::size_t length_field(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() < 2 ? 0 : (bytes[0] | (bytes[1] << 8));
}

void edit(std::span<const std::uint8_t> info, std::u16string_view key, std::u16string_view text) {
    const auto result = support::replace_version_string(info, key, text);
    if (!result) return;
    FUZZ_CHECK(result->size() == length_field(*result));
    FUZZ_CHECK(result->size() <= 0xFFFF);
    const auto again = support::replace_version_string(*result, key, text);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto info = fuzz::bytes_of(data, size);
    static const std::u16string long_text(300, u'字');
    edit(info, u"FileVersion", u"1.2.3.4");
    edit(info, u"CompanyName", long_text);
    edit(info, u"ProductName", u"");
    edit(info, u"", u"x");
    return 0;
}
