#include "list_read.h"

#include "driver_error.h"
#include "remote_memory.h"
#include "window_query.h"

#include <commctrl.h>

namespace uidriver {

namespace {

// The remote block: the item structure first, its text buffer behind it.
constexpr size_t kStructRoom = 256;
constexpr size_t kTextUnits = 2048;
constexpr size_t kRemoteSize = kStructRoom + kTextUnits * sizeof(wchar_t);

LRESULT must_send(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    auto result = send(control, message, wparam, lparam);
    if (!result) fail(L"the control's program doesn't answer (busy or hung)");
    return *result;
}

// Puts a text request (an LVITEMW, LVCOLUMNW or TCITEMW whose other fields
// the caller has set) into the other process's memory, its text buffer
// right behind it and emptied first.
template <typename Item>
void place_text_request(RemoteMemory& remote, Item request) {
    request.pszText = static_cast<LPWSTR>(remote.at(kStructRoom));
    request.cchTextMax = static_cast<int>(kTextUnits);
    remote.write(0, &request, sizeof request);
    const wchar_t nothing = L'\0';
    remote.write(kStructRoom, &nothing, sizeof nothing);
}

std::wstring list_view_cell(HWND list, RemoteMemory& remote, int item, int column) {
    LVITEMW request = {};
    request.mask = LVIF_TEXT;
    request.iItem = item;
    request.iSubItem = column;
    place_text_request(remote, request);
    const LRESULT length = must_send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                                     reinterpret_cast<LPARAM>(remote.at(0)));
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (!text.empty()) remote.read(kStructRoom, text.data(), text.size() * sizeof(wchar_t));
    return text;
}

int list_view_columns(HWND list) {
    const auto header = send(list, LVM_GETHEADER, 0, 0);
    if (!header || *header == 0) return 1;
    const auto count = send(reinterpret_cast<HWND>(*header), HDM_GETITEMCOUNT, 0, 0);
    return count && *count > 0 ? static_cast<int>(*count) : 1;
}

std::vector<Row> list_view_rows(HWND list) {
    const int rows = static_cast<int>(must_send(list, LVM_GETITEMCOUNT, 0, 0));
    const int columns = list_view_columns(list);
    RemoteMemory remote(list, kRemoteSize);
    std::vector<Row> result;
    for (int item = 0; item < rows; ++item) {
        Row row;
        for (int column = 0; column < columns; ++column)
            row.push_back(list_view_cell(list, remote, item, column));
        result.push_back(std::move(row));
    }
    return result;
}

// List boxes and combo boxes copy their strings across processes
// themselves; the count, length and text messages are enough.
std::vector<Row> string_list_rows(HWND control, UINT count_msg, UINT length_msg, UINT text_msg) {
    const LRESULT rows = must_send(control, count_msg, 0, 0);
    std::vector<Row> result;
    for (LRESULT i = 0; i < rows; ++i) {
        const LRESULT length = must_send(control, length_msg, static_cast<WPARAM>(i), 0);
        if (length < 0) fail(L"row " + std::to_wstring(i) + L" has no text");
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT copied = must_send(control, text_msg, static_cast<WPARAM>(i),
                                         reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        result.push_back(Row{text});
    }
    return result;
}

// For item structures whose text the control may leave in a buffer of its
// own (it then changes the pointer instead of filling ours).
template <class Item>
std::wstring text_from_item(RemoteMemory& remote) {
    Item answered = {};
    remote.read(0, &answered, sizeof answered);
    if (answered.pszText == nullptr) return {};
    if (answered.pszText == remote.at(kStructRoom)) {
        std::wstring text(kTextUnits, L'\0');
        remote.read(kStructRoom, text.data(), kTextUnits * sizeof(wchar_t));
        text.resize(text.find(L'\0') == std::wstring::npos ? kTextUnits - 1 : text.find(L'\0'));
        return text;
    }
    return remote.read_string(answered.pszText, kTextUnits);
}

}  // namespace

ListKind list_kind(HWND control) {
    const std::wstring name = class_of(control);
    if (same_text_ignoring_case(name, WC_LISTVIEWW)) return ListKind::ListView;
    if (same_text_ignoring_case(name, L"ListBox") || same_text_ignoring_case(name, L"ComboLBox"))
        return ListKind::ListBox;
    if (same_text_ignoring_case(name, L"ComboBox")) return ListKind::ComboBox;
    if (same_text_ignoring_case(name, WC_TABCONTROLW)) return ListKind::Tab;
    return ListKind::Other;
}

std::optional<int> item_count(HWND control) {
    std::optional<LRESULT> count;
    switch (list_kind(control)) {
    case ListKind::ListView: count = send(control, LVM_GETITEMCOUNT, 0, 0, 1000); break;
    case ListKind::ListBox: count = send(control, LB_GETCOUNT, 0, 0, 1000); break;
    case ListKind::ComboBox: count = send(control, CB_GETCOUNT, 0, 0, 1000); break;
    case ListKind::Tab: count = send(control, TCM_GETITEMCOUNT, 0, 0, 1000); break;
    case ListKind::Other: break;
    }
    if (!count || *count < 0) return std::nullopt;
    return static_cast<int>(*count);
}

std::vector<Row> read_rows(HWND control) {
    switch (list_kind(control)) {
    case ListKind::ListView:
        return list_view_rows(control);
    case ListKind::ListBox:
        return string_list_rows(control, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
    case ListKind::ComboBox:
        return string_list_rows(control, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
    case ListKind::Tab: {
        std::vector<Row> rows;
        for (auto& label : read_tab_labels(control)) rows.push_back(Row{label});
        return rows;
    }
    case ListKind::Other:
        break;
    }
    fail(L"control of class " + class_of(control) + L" has no rows to read");
}

bool has_check_boxes(HWND list_view) {
    const auto styles = send(list_view, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    return styles && (*styles & LVS_EX_CHECKBOXES) != 0;
}

std::optional<bool> row_checked(HWND list_view, int index) {
    const auto state = send(list_view, LVM_GETITEMSTATE, static_cast<WPARAM>(index),
                            LVIS_STATEIMAGEMASK, 1000);
    if (!state) return std::nullopt;
    // State image 2 is the ticked box, 1 the empty one.
    return (static_cast<UINT>(*state) & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

std::vector<std::wstring> read_row_marks(HWND control) {
    std::vector<std::wstring> marks;
    const ListKind kind = list_kind(control);
    if (kind != ListKind::ListView && kind != ListKind::ListBox)
        fail(L"only list views and list boxes have row marks");
    const auto count = item_count(control);
    if (!count) fail(L"the control's program doesn't answer");
    const bool boxes = kind == ListKind::ListView && has_check_boxes(control);
    for (int i = 0; i < *count; ++i) {
        std::wstring words;
        if (boxes) words = row_checked(control, i).value_or(false) ? L"checked" : L"unchecked";
        const bool selected =
            kind == ListKind::ListView
                ? (must_send(control, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) &
                   LVIS_SELECTED) != 0
                : must_send(control, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
        if (selected) words += words.empty() ? L"selected" : L",selected";
        marks.push_back(words.empty() ? L"-" : words);
    }
    return marks;
}

std::vector<std::wstring> read_list_view_header(HWND list_view) {
    std::vector<std::wstring> headings;
    const auto header = send(list_view, LVM_GETHEADER, 0, 0);
    if (!header || *header == 0) return headings;
    const auto count = send(reinterpret_cast<HWND>(*header), HDM_GETITEMCOUNT, 0, 0);
    if (!count || *count <= 0) return headings;
    RemoteMemory remote(list_view, kRemoteSize);
    for (int column = 0; column < static_cast<int>(*count); ++column) {
        LVCOLUMNW request = {};
        request.mask = LVCF_TEXT;
        place_text_request(remote, request);
        if (!must_send(list_view, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                       reinterpret_cast<LPARAM>(remote.at(0))))
            fail(L"column " + std::to_wstring(column) + L" can't be read");
        headings.push_back(text_from_item<LVCOLUMNW>(remote));
    }
    return headings;
}

std::vector<std::wstring> read_tab_labels(HWND tab) {
    std::vector<std::wstring> labels;
    const int count = static_cast<int>(must_send(tab, TCM_GETITEMCOUNT, 0, 0));
    RemoteMemory remote(tab, kRemoteSize);
    for (int index = 0; index < count; ++index) {
        TCITEMW request = {};
        request.mask = TCIF_TEXT;
        place_text_request(remote, request);
        if (!must_send(tab, TCM_GETITEMW, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(remote.at(0))))
            fail(L"tab " + std::to_wstring(index) + L" can't be read");
        labels.push_back(text_from_item<TCITEMW>(remote));
    }
    return labels;
}

}  // namespace uidriver
