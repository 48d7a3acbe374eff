// The demo product's settings program. The Start-menu shortcuts start it
// as  config.exe /n 'NAME' [/do TASK]  with the IME name and, for the tools
// shortcuts, one of the tasks mabiaochaxun (look up codes), anjianshezhi
// (key functions) or tianjiayonghuci (add user words). This stand-in shows
// which page a real settings program would open, in a message box whose
// text names the IME and the task, so a person (or a test reading the box)
// can tell the shortcut's arguments arrived whole.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Splits the argument text at blanks; a piece in single quotes keeps its
// blanks and loses its quotes.
std::vector<std::wstring> split_arguments(std::wstring_view text) {
    std::vector<std::wstring> pieces;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == L' ' || text[i] == L'\t') {
            ++i;
            continue;
        }
        const bool quoted = text[i] == L'\'';
        const wchar_t end_mark = quoted ? L'\'' : L' ';
        const std::size_t start = quoted ? i + 1 : i;
        std::size_t end = text.find(end_mark, start);
        if (!quoted) end = std::min(end, text.find(L'\t', start));
        if (end == std::wstring_view::npos) end = text.size();
        pieces.emplace_back(text.substr(start, end - start));
        i = end + (quoted && end < text.size() ? 1 : 0);
    }
    return pieces;
}

std::wstring value_after(const std::vector<std::wstring>& pieces, std::wstring_view option) {
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        if (lstrcmpiW(pieces[i].c_str(), std::wstring(option).c_str()) == 0) return pieces[i + 1];
    return {};
}

std::wstring task_title(const std::wstring& task) {
    if (task.empty()) return L"使用习惯更改和设定";
    if (lstrcmpiW(task.c_str(), L"mabiaochaxun") == 0) return L"码表查询";
    if (lstrcmpiW(task.c_str(), L"anjianshezhi") == 0) return L"按键功能";
    if (lstrcmpiW(task.c_str(), L"tianjiayonghuci") == 0) return L"添加用户词";
    return L"未知功能：" + task;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    const auto pieces = split_arguments(arguments != nullptr ? arguments : L"");
    std::wstring name = value_after(pieces, L"/n");
    if (name.empty()) name = L"ZZPinyin";
    const std::wstring task = value_after(pieces, L"/do");
    const std::wstring text = L"输入法：" + name + L"\r\n功能：" + task_title(task) +
                              L"\r\n\r\n这是演示产品的设置程序，没有可以更改的设定。";
    MessageBoxW(nullptr, text.c_str(), L"紫金拼音输入法设置", MB_OK | MB_ICONINFORMATION);
    return 0;
}
