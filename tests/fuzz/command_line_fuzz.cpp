// The installer's command-line grammar (the neutral part: the Windows side
// only fetches the argument string and hands it over). Input bytes are
// units of the argument string: a byte stands for itself, and 0xFF with the
// two bytes after it for any UTF-16 unit, so that seeds and the dictionary
// stay readable while every unit can occur.

#include "fuzz_check.h"

#include "app/command_line.h"

#include <string>

namespace {

std::u16string arguments_of(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 2 < size) {
            text.push_back(static_cast<char16_t>(data[i + 1] | (data[i + 2] << 8)));
            i += 2;
        } else {
            text.push_back(static_cast<char16_t>(data[i]));
        }
    }
    return text;
}

bool inside(std::u16string_view whole, std::u16string_view part) {
    return part.empty() || whole.find(part) != std::u16string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = arguments_of(data, size);
    const app::CommandArguments args = app::parse_arguments(text);

    // What counts: up to the first NUL, at most the run record's slot.
    std::u16string_view counted(text);
    counted = counted.substr(0, counted.find(u'\0'));
    counted = counted.substr(0, app::kPathUnits - 1);

    FUZZ_CHECK(args.mode == 0 || args.mode == u'U' || args.mode == u'R' || args.mode == u'G');
    FUZZ_CHECK(args.mode != 0 || args.product_name.empty());
    FUZZ_CHECK(args.product_name.size() <= app::kNameUnits - 1);
    FUZZ_CHECK(args.source_path.size() <= app::kPathUnits - 1);
    FUZZ_CHECK(inside(counted, args.product_name) && inside(counted, args.source_path));
    FUZZ_CHECK(args.product_name.find(u'\0') == std::u16string::npos);
    if (args.mode != 0) {
        FUZZ_CHECK(counted.find(u" name=[") != std::u16string_view::npos);
    }
    if (!args.source_path.empty()) {
        FUZZ_CHECK(counted.find(u"file=") != std::u16string_view::npos);
    }
    // The same text parsed twice gives the same answer (no hidden state).
    const app::CommandArguments again = app::parse_arguments(text);
    FUZZ_CHECK(again.mode == args.mode && again.product_name == args.product_name &&
               again.source_path == args.source_path);

    // The switches: the rest keeps every unit but the switches' own, which
    // become spaces; a value is text of the string.
    const app::RunSwitches switches = app::scan_switches(text);
    const std::u16string_view whole = std::u16string_view(text).substr(0, std::u16string_view(text).find(u'\0'));
    FUZZ_CHECK(switches.rest.size() == whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) FUZZ_CHECK(switches.rest[i] == whole[i] || switches.rest[i] == u' ');
    for (const std::u16string& value : {switches.log_path, switches.install_dir, switches.owner, switches.company}) {
        FUZZ_CHECK(inside(whole, value) && value.size() <= app::kSwitchValueUnits);
    }
    // Whatever a product is called, its uninstall command sets no switch.
    const std::u16string entry = u"\"C:\\IME\\Unstall.exe\" -u name=[" + text.substr(0, 39) + u"] file=C:\\x.exe";
    const app::RunSwitches named = app::scan_switches(entry);
    if (text.find(u'\0') == std::u16string::npos) {
        FUZZ_CHECK(!named.silent && !named.help && !named.accept_licence && !named.end_holders);
        FUZZ_CHECK(named.log_path.empty() && named.install_dir.empty() && named.owner.empty() && named.company.empty());
    }

    for (const std::u16string& path : {app::uninstall_key_path(args.product_name), app::vendor_key_path(args.product_name)}) {
        FUZZ_CHECK(path.size() <= app::kKeyPathUnits - 1);
    }
    return 0;
}
