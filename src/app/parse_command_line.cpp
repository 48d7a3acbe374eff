#include "app/parse_command_line.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/install_path.h"
#include "support/format_bounded.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace app {
namespace {

// The slot's text up to its terminator, never past the slot.
template <std::size_t N>
std::wstring_view slot_text(const wchar_t (&slot)[N]) {
    std::size_t length = 0;
    while (length < N - 1 && slot[length] != L'\0') ++length;
    return {slot, length};
}

template <std::size_t N>
void read_value(HKEY root, const std::u16string& key_path, const wchar_t* value, wchar_t (&slot)[N]) {
    support::UniqueKey key;
    if (RegOpenKeyExW(root, support::to_wide(key_path).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    support::read_string_value(key.get(), value, slot);
}

}  // namespace

void parse_command_line(RunContext& run, CommandRecord& command) {
    const CommandArguments arguments = parse_arguments(support::to_u16(slot_text(run.command_line)));

    support::copy_slot(run.source_path, support::to_wide(arguments.source_path).c_str());
    run.mode = static_cast<wchar_t>(arguments.mode);

    command = CommandRecord{};
    support::copy_slot(command.product_name, support::to_wide(arguments.product_name).c_str());

    read_value(HKEY_LOCAL_MACHINE, uninstall_key_path(arguments.product_name), L"DisplayName",
               command.display_name);

    // The machine's folder first, the current user's only as the fallback
    // (app/install_path.h).
    read_install_path(command.product_name, command.install_dir, InstallPathRoots::machine_then_user);
}

}  // namespace app
