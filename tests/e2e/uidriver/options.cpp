#include "options.h"

#include "driver_error.h"

#include <cwchar>

namespace uidriver {

namespace {

// Command options that take a value; every other "--x" is a plain switch.
bool takes_value(const std::wstring& name) {
    return name == L"timeout" || name == L"pid" || name == L"exe" || name == L"answer";
}

bool is_known_switch(const std::wstring& name) {
    return name == L"hidden" || name == L"header" || name == L"range" || name == L"keys" ||
           name == L"force" || name == L"marks";
}

void apply(Options& options, const std::wstring& name, const std::wstring& value) {
    if (name == L"timeout") {
        options.timeout_ms = static_cast<DWORD>(parse_number(value, L"--timeout"));
    } else if (name == L"pid") {
        options.pid = static_cast<DWORD>(parse_number(value, L"--pid"));
    } else if (name == L"exe") {
        options.exe = value;
    } else if (name == L"hidden") {
        options.hidden = true;
    } else {
        options.flags[name] = value;
    }
}

}  // namespace

std::wstring Options::flag(const std::wstring& name) const {
    auto it = flags.find(name);
    return it == flags.end() ? std::wstring() : it->second;
}

long long parse_number(const std::wstring& text, const wchar_t* what) {
    if (text.empty()) fail_usage(std::wstring(what) + L": a number is needed");
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != L'\0')
        fail_usage(std::wstring(what) + L": not a number: \"" + text + L"\"");
    return value;
}

Options parse_options(const std::vector<std::wstring>& argv) {
    Options options;
    bool options_ended = false;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::wstring& word = argv[i];
        if (!options_ended && word == L"--") {
            options_ended = true;
        } else if (!options_ended && word.size() > 2 && word.compare(0, 2, L"--") == 0) {
            const std::wstring name = word.substr(2);
            if (takes_value(name)) {
                if (i + 1 >= argv.size()) fail_usage(L"option " + word + L" needs a value");
                apply(options, name, argv[++i]);
            } else if (is_known_switch(name)) {
                apply(options, name, L"");
            } else {
                fail_usage(L"unknown option " + word);
            }
        } else if (options.command.empty()) {
            options.command = word;
        } else {
            options.args.push_back(word);
        }
    }
    return options;
}

}  // namespace uidriver
