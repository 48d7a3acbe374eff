#pragma once
// Reading the rows of list controls in another process: list views (every
// column of every row), list boxes, combo boxes, and the labels of a tab
// control.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace uidriver {

enum class ListKind { ListView, ListBox, ComboBox, Tab, Other };
ListKind list_kind(HWND control);

// The number of rows (tabs for a tab control); nullopt when the owner
// doesn't answer in time or the control holds no rows.
std::optional<int> item_count(HWND control);

using Row = std::vector<std::wstring>;
std::vector<Row> read_rows(HWND control);
// Column headings of a list view in report view (empty otherwise).
std::vector<std::wstring> read_list_view_header(HWND list_view);
std::vector<std::wstring> read_tab_labels(HWND tab);

// Per row, the marks a person sees: "selected" and, for a list view with
// check boxes, "checked" or "unchecked", joined by commas ("-" for none).
std::vector<std::wstring> read_row_marks(HWND control);
// Whether row `index` of a list view with check boxes is checked;
// nullopt when the owner doesn't answer.
std::optional<bool> row_checked(HWND list_view, int index);
bool has_check_boxes(HWND list_view);

}  // namespace uidriver
