#include "commands.h"

#include "actions.h"
#include "driver_error.h"
#include "list_read.h"
#include "message_box.h"
#include "poll.h"
#include "processes.h"
#include "screenshot.h"
#include "text_io.h"
#include "window_find.h"
#include "window_query.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <sstream>

namespace uidriver {

namespace {

void need_args(const Options& o, size_t least, size_t most, const wchar_t* usage) {
    if (o.args.size() < least || o.args.size() > most)
        fail_usage(L"usage: uidriver " + o.command + L" " + usage);
}

HWND window_arg(const Options& o) { return wait_window(parse_window_spec(o.args.at(0)), o); }

HWND control_arg(const Options& o) {
    return wait_control(parse_window_spec(o.args.at(0)), parse_control_spec(o.args.at(1)), o);
}

// Row cells are printed TAB-separated, one row per line: tabs, line breaks
// and backslashes inside a cell are escaped as \t, \n, \r and \\.
std::wstring escape_cell(const std::wstring& cell) {
    std::wstring escaped;
    for (wchar_t c : cell) {
        switch (c) {
        case L'\\': escaped += L"\\\\"; break;
        case L'\t': escaped += L"\\t"; break;
        case L'\n': escaped += L"\\n"; break;
        case L'\r': escaped += L"\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::wstring join_cells(const std::vector<std::wstring>& cells) {
    std::wstring line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i != 0) line += L'\t';
        line += escape_cell(cells[i]);
    }
    return line;
}

// Polls `probe` until `accept` holds; a time-out names what was last seen.
void wait_for(const Options& o, const std::function<std::optional<std::wstring>()>& probe,
              const std::function<bool(const std::wstring&)>& accept, const std::wstring& what) {
    std::wstring last = L"(no answer)";
    auto done = poll_until(o.timeout_ms, [&]() -> std::optional<bool> {
        if (auto seen = probe()) {
            last = *seen;
            if (accept(last)) return true;
        }
        return std::nullopt;
    });
    if (!done)
        fail_timeout(L"time-out after " + std::to_wstring(o.timeout_ms) + L" ms waiting for " +
                     what + L"; last seen: " + last);
}

std::optional<std::wstring> progress_position(HWND bar) {
    auto pos = send(bar, PBM_GETPOS, 0, 0, 1000);
    if (!pos) return std::nullopt;
    return std::to_wstring(*pos);
}

void cmd_list(const Options& o) {
    need_args(o, 0, 0, L"");
    for (HWND w : all_top_level_windows()) {
        if (!o.hidden && !IsWindowVisible(w)) continue;
        const DWORD pid = pid_of(w);
        out_line(hex_handle(w) + L"\t" + std::to_wstring(pid) + L"\t" + exe_of(pid) + L"\t" +
                 (IsWindowVisible(w) ? L"visible" : L"hidden") + L"\t" + class_of(w) + L"\t" +
                 escape_cell(title_of(w)));
    }
}

void cmd_processes(const Options& o) {
    need_args(o, 0, 0, L"");
    for (const auto& process : list_processes()) {
        if (o.pid != 0 && process.pid != o.pid) continue;
        if (!o.exe.empty()) {
            const size_t slash = process.image_path.find_last_of(L"\\/");
            const std::wstring name =
                slash == std::wstring::npos ? process.image_path : process.image_path.substr(slash + 1);
            if (!same_text_ignoring_case(name, o.exe)) continue;
        }
        out_line(std::to_wstring(process.pid) + L"\t" + std::to_wstring(process.parent_pid) +
                 L"\t" + escape_cell(process.image_path) + L"\t" + escape_cell(process.command_line));
    }
}

void cmd_controls(const Options& o) {
    need_args(o, 1, 1, L"WINDOW");
    for (HWND c : all_descendants(window_arg(o))) {
        std::wstring words = state_words(c);
        for (auto& ch : words)
            if (ch == L' ') ch = L',';
        out_line(hex_handle(c) + L"\t" + std::to_wstring(GetDlgCtrlID(c)) + L"\t" + class_of(c) +
                 L"\t" + words + L"\t" + escape_cell(text_of(c, 500)));
    }
}

void cmd_wait(const Options& o) {
    need_args(o, 1, 1, L"WINDOW");
    HWND w = window_arg(o);
    out_line(hex_handle(w) + L"\t" + std::to_wstring(pid_of(w)));
}

void cmd_gone(const Options& o) {
    need_args(o, 1, 1, L"WINDOW");
    wait_window_gone(parse_window_spec(o.args[0]), o);
}

void cmd_text(const Options& o) {
    need_args(o, 1, 2, L"WINDOW [CONTROL]");
    if (o.args.size() == 1)
        out_line(title_of(window_arg(o)));
    else
        out_line(text_of(control_arg(o)));
}

void cmd_wait_text(const Options& o) {
    need_args(o, 3, 3, L"WINDOW CONTROL TEXT");
    HWND c = control_arg(o);
    const std::wstring& want = o.args[2];
    wait_for(o, [&] { return std::optional<std::wstring>(text_of(c, 1000)); },
             [&](const std::wstring& seen) { return seen == want; },
             L"the text \"" + want + L"\"");
}

void cmd_state(const Options& o) {
    need_args(o, 2, 2, L"WINDOW CONTROL");
    out_line(state_words(control_arg(o)));
}

void cmd_wait_state(const Options& o) {
    need_args(o, 3, 10, L"WINDOW CONTROL WORD...");
    const std::vector<std::wstring> words(o.args.begin() + 2, o.args.end());
    for (auto& word : words)
        if (word != L"enabled" && word != L"disabled" && word != L"visible" && word != L"hidden" &&
            word != L"checked" && word != L"unchecked" && word != L"indeterminate")
            fail_usage(L"unknown state word \"" + word + L"\"");
    HWND c = control_arg(o);
    std::wstring wanted;
    for (auto& word : words) wanted += (wanted.empty() ? L"" : L" ") + word;
    wait_for(o, [&] { return std::optional<std::wstring>(state_words(c)); },
             [&](const std::wstring& seen) {
                 std::wistringstream have(seen);
                 std::vector<std::wstring> present;
                 for (std::wstring w; have >> w;) present.push_back(w);
                 for (auto& word : words)
                     if (std::find(present.begin(), present.end(), word) == present.end())
                         return false;
                 return true;
             },
             L"the state \"" + wanted + L"\"");
}

void cmd_click(const Options& o) {
    need_args(o, 2, 2, L"WINDOW CONTROL [--force]");
    click(control_arg(o), o.has(L"force"));
}

void cmd_check(const Options& o) {
    need_args(o, 2, 3, L"WINDOW CONTROL [on|off]");
    const std::wstring how = o.args.size() == 3 ? o.args[2] : L"on";
    if (how != L"on" && how != L"off") fail_usage(L"check wants on or off, not " + how);
    set_check(control_arg(o), how == L"on", o);
}

void cmd_type(const Options& o) {
    need_args(o, 3, 3, L"WINDOW CONTROL TEXT [--keys]");
    type_text(control_arg(o), o.args[2], o.has(L"keys"), o);
}

void cmd_tab(const Options& o) {
    need_args(o, 2, 3, L"WINDOW CONTROL [INDEX|LABEL]");
    HWND tab = control_arg(o);
    if (list_kind(tab) != ListKind::Tab) fail(L"control is a " + class_of(tab) + L", not a tab control");
    if (o.args.size() == 2) {
        auto current = send(tab, TCM_GETCURSEL, 0, 0);
        if (!current) fail(L"the tab control's program doesn't answer");
        out_line(std::to_wstring(*current));
        return;
    }
    const auto labels = read_tab_labels(tab);
    int index = -1;
    for (size_t i = 0; i < labels.size(); ++i)
        if (labels[i] == o.args[2]) index = static_cast<int>(i);
    if (index < 0) index = static_cast<int>(parse_number(o.args[2], L"tab index or label"));
    select_tab(tab, index, o);
}

void cmd_rows(const Options& o) {
    need_args(o, 2, 2, L"WINDOW CONTROL [--header] [--marks]");
    HWND c = control_arg(o);
    const bool marks = o.has(L"marks");
    if (o.has(L"header")) {
        if (list_kind(c) != ListKind::ListView) fail(L"only a list view has column headings");
        auto headings = read_list_view_header(c);
        if (marks) headings.insert(headings.begin(), L"");
        out_line(join_cells(headings));
    }
    const auto rows = read_rows(c);
    const auto row_marks = marks ? read_row_marks(c) : std::vector<std::wstring>();
    for (size_t i = 0; i < rows.size(); ++i) {
        auto cells = rows[i];
        if (marks) cells.insert(cells.begin(), i < row_marks.size() ? row_marks[i] : L"-");
        out_line(join_cells(cells));
    }
}

void cmd_select(const Options& o) {
    need_args(o, 3, 3, L"WINDOW CONTROL INDEX");
    select_row(control_arg(o), static_cast<int>(parse_number(o.args[2], L"row index")), o);
}

void cmd_check_row(const Options& o) {
    need_args(o, 3, 4, L"WINDOW CONTROL INDEX [on|off]");
    const std::wstring how = o.args.size() == 4 ? o.args[3] : L"on";
    if (how != L"on" && how != L"off") fail_usage(L"check-row wants on or off, not " + how);
    check_row(control_arg(o), static_cast<int>(parse_number(o.args[2], L"row index")),
              how == L"on", o);
}

void cmd_count(const Options& o) {
    need_args(o, 2, 2, L"WINDOW CONTROL");
    HWND c = control_arg(o);
    if (list_kind(c) == ListKind::Other) fail(L"control of class " + class_of(c) + L" has no rows");
    auto count = item_count(c);
    if (!count) fail(L"the control's program doesn't answer");
    out_line(std::to_wstring(*count));
}

void cmd_wait_count(const Options& o) {
    need_args(o, 3, 3, L"WINDOW CONTROL N");
    HWND c = control_arg(o);
    if (list_kind(c) == ListKind::Other) fail(L"control of class " + class_of(c) + L" has no rows");
    const long long want = parse_number(o.args[2], L"row count");
    wait_for(o,
             [&]() -> std::optional<std::wstring> {
                 auto count = item_count(c);
                 if (!count) return std::nullopt;
                 return std::to_wstring(*count);
             },
             [&](const std::wstring& seen) { return std::stoll(seen) >= want; },
             L"at least " + o.args[2] + L" rows");
}

void cmd_progress(const Options& o) {
    need_args(o, 2, 2, L"WINDOW CONTROL [--range]");
    HWND bar = control_arg(o);
    if (!same_text_ignoring_case(class_of(bar), PROGRESS_CLASSW))
        fail(L"control is a " + class_of(bar) + L", not a progress bar");
    auto pos = progress_position(bar);
    if (!pos) fail(L"the progress bar's program doesn't answer");
    if (!o.has(L"range")) {
        out_line(*pos);
        return;
    }
    auto low = send(bar, PBM_GETRANGE, TRUE, 0);
    auto high = send(bar, PBM_GETRANGE, FALSE, 0);
    if (!low || !high) fail(L"the progress bar's program doesn't answer");
    out_line(*pos + L" " + std::to_wstring(*low) + L" " + std::to_wstring(*high));
}

void cmd_wait_progress(const Options& o) {
    need_args(o, 3, 3, L"WINDOW CONTROL N");
    HWND bar = control_arg(o);
    const long long want = parse_number(o.args[2], L"position");
    wait_for(o, [&] { return progress_position(bar); },
             [&](const std::wstring& seen) { return std::stoll(seen) >= want; },
             L"position " + o.args[2]);
}

void cmd_msgbox(const Options& o) {
    need_args(o, 1, 1, L"CAPTION [--answer BUTTON]");
    const int button = o.has(L"answer") ? button_id(o.flag(L"answer")) : 0;
    HWND box = wait_message_box(o.args[0], o);
    out_line(message_box_text(box));
    if (button != 0) answer_message_box(box, button, o);
}

void cmd_close(const Options& o) {
    need_args(o, 1, 1, L"WINDOW");
    close_window(window_arg(o));
}

void cmd_screenshot(const Options& o) {
    need_args(o, 2, 2, L"WINDOW FILE.png");
    const auto size = save_screenshot(window_arg(o), o.args[1], o);
    out_line(std::to_wstring(size.width) + L"x" + std::to_wstring(size.height));
}

// Starts PROGRAM with the argument string ARGUMENTS as it is (one piece,
// so nothing is requoted), its standard output and error this driver's,
// waits for it and prints "exit <code>": the whole 32-bit exit code, which
// a Unix exit status would cut to its low byte.
void cmd_run(const Options& o) {
    need_args(o, 1, 2, L"PROGRAM [ARGUMENTS]");
    std::wstring line = L"\"" + o.args[0] + L"\"";
    if (o.args.size() == 2 && !o.args[1].empty()) line += L" " + o.args[1];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE* slots[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
        *slots[i] = nullptr;
        const HANDLE own = GetStdHandle(which[i]);
        if (own != nullptr && own != INVALID_HANDLE_VALUE)
            DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), slots[i], 0, TRUE, DUPLICATE_SAME_ACCESS);
    }
    PROCESS_INFORMATION started{};
    const BOOL made = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                     &started);
    const DWORD error = GetLastError();
    for (HANDLE* slot : slots)
        if (*slot != nullptr) CloseHandle(*slot);
    if (!made) fail(L"can't start " + o.args[0] + L" (error " + std::to_wstring(error) + L")");
    CloseHandle(started.hThread);
    const DWORD waited = WaitForSingleObject(started.hProcess, o.timeout_ms);
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hProcess);
    if (waited != WAIT_OBJECT_0) fail_timeout(L"time-out after " + std::to_wstring(o.timeout_ms) + L" ms waiting for " + o.args[0] + L" to end");
    out_line(L"exit " + std::to_wstring(code));
}

struct Command {
    const wchar_t* name;
    void (*run)(const Options&);
};

const Command kCommands[] = {
    {L"list", cmd_list},         {L"controls", cmd_controls},
    {L"processes", cmd_processes},
    {L"wait", cmd_wait},         {L"gone", cmd_gone},
    {L"text", cmd_text},         {L"wait-text", cmd_wait_text},
    {L"state", cmd_state},       {L"wait-state", cmd_wait_state},
    {L"click", cmd_click},       {L"check", cmd_check},
    {L"type", cmd_type},         {L"tab", cmd_tab},
    {L"rows", cmd_rows},         {L"count", cmd_count},
    {L"select", cmd_select},     {L"check-row", cmd_check_row},
    {L"wait-count", cmd_wait_count}, {L"progress", cmd_progress},
    {L"wait-progress", cmd_wait_progress}, {L"msgbox", cmd_msgbox},
    {L"close", cmd_close},       {L"screenshot", cmd_screenshot},
    {L"run", cmd_run},
};

}  // namespace

void run_command(const Options& options) {
    if (options.command.empty() || options.command == L"help") {
        print_usage();
        if (options.command.empty()) fail_usage(L"no command given");
        return;
    }
    for (const auto& command : kCommands) {
        if (options.command == command.name) {
            command.run(options);
            return;
        }
    }
    fail_usage(L"unknown command \"" + options.command + L"\" (uidriver help lists them)");
}

void print_usage() {
    out(L"usage: uidriver COMMAND ARGS... [--timeout MS] [--pid PID] [--exe NAME] [--hidden]\n"
        L"WINDOW: TITLE | title:TITLE | part:TEXT | class:NAME | hwnd:0xHANDLE | desktop:\n"
        L"CONTROL: ID | ID:CLASS   (searched in all descendants; a visible match wins)\n"
        L"  list                         top-level windows: handle pid exe visibility class title\n"
        L"  controls WINDOW              descendants: handle id class state text\n"
        L"  processes                    pid, parent pid, image path, command line\n"
        L"  wait WINDOW                  wait for the window; prints handle and pid\n"
        L"  gone WINDOW                  wait until no such window is left\n"
        L"  text WINDOW [CONTROL]        the window's title or the control's text\n"
        L"  wait-text WINDOW CONTROL TEXT\n"
        L"  state WINDOW CONTROL         enabled|disabled visible|hidden [checked|unchecked]\n"
        L"  wait-state WINDOW CONTROL WORD...\n"
        L"  click WINDOW CONTROL [--force]\n"
        L"  check WINDOW CONTROL [on|off]\n"
        L"  type WINDOW CONTROL TEXT [--keys]\n"
        L"  tab WINDOW CONTROL [INDEX|LABEL]   select a tab, or print the current index\n"
        L"  rows WINDOW CONTROL [--header] [--marks]  list view / list box / combo / tab rows\n"
        L"  select WINDOW CONTROL INDEX        select a row as a click would\n"
        L"  check-row WINDOW CONTROL INDEX [on|off]  a list-view row's check box\n"
        L"  count WINDOW CONTROL\n"
        L"  wait-count WINDOW CONTROL N        wait for at least N rows\n"
        L"  progress WINDOW CONTROL [--range]  position [min max]\n"
        L"  wait-progress WINDOW CONTROL N     wait for position N or more\n"
        L"  msgbox CAPTION [--answer ok|cancel|yes|no|abort|retry|ignore|ID]\n"
        L"  close WINDOW                 the close box\n"
        L"  screenshot WINDOW FILE.png    the window as on screen (desktop: for all)\n"
        L"exit codes: 0 done, 1 failed, 2 usage, 3 time-out\n");
}

}  // namespace uidriver
