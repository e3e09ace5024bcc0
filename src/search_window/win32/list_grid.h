#pragma once
// The grid as a report-style list view in virtual mode: the list view holds
// no text, only a row count, and asks for the text of the rows it paints
// (LVN_GETDISPINFOW), which alone become UTF-16. A refill is a handful of
// messages whatever the rows listed. One column, set up from the design-time
// format string: an optional '^' that centres header and cells, then the
// header text, whose spaces also give the column its width in the grid's
// font; nothing else changes that width. The window paints the rows itself
// to centre them (a list view puts its first column's text at the left).
//
// What a Windows user expects of a list, beyond the form's design: a
// tooltip with the whole text of a row the column cuts short, Ctrl+A to
// select every row, Ctrl+C, Ctrl+Insert and a right click's "Copier" to copy
// the selected rows, one a line, and letters typed in the list to go to the
// row starting with them.

#include "search_window/article_grid.h"
#include "search_window/grid_rows.h"
#include "search_window/win32/selected_rows.h"
#include "search_window/win32/windows_api.h"

#include <memory>
#include <string>
#include <string_view>

namespace search_window {

class ListGrid final : public ArticleGrid {
public:
    // A child of `parent` with control id `id`, empty and without columns.
    ListGrid(HWND parent, int id);
    ~ListGrid() override;
    ListGrid(const ListGrid &) = delete;
    ListGrid &operator=(const ListGrid &) = delete;

    HWND window() const { return m_list; }

    void setFormatString(std::u16string_view format);
    // The grid's font (the header takes it too) and the column's width in it.
    void setFont(HFONT font, UINT dpi);

    // Answers the list view's notifications to the parent: the text of the
    // rows it paints and of their tooltips, the painting itself, the row the
    // user's typing leads to, the selection's changes, the keys. False for
    // those the parent's default handling should have.
    bool notify(NMHDR &header, LRESULT &result);
    // The grid's menu, at `where` on the screen, or under the focused row
    // when the keyboard asked for it (both coordinates -1).
    void showMenu(POINT where);
    // Copies the selected rows to the clipboard.
    void copySelectedRows();

    int Rows() const override;
    void setRows(int rows) override;
    void AddItem(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &keepAlive) override;
    void AddItems(const jet_engine::FieldRun &run) override;
    void beginUpdate() override;
    void endUpdate() override;

private:
    static LRESULT CALLBACK listProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
    HWND header() const;
    void fitColumn();
    int margin() const;
    // The list view learns the new row count, at once or when the batch ends.
    void showRows();
    void showText(LVITEMW &item) const;
    void showTip(NMLVGETINFOTIPW &tip) const;
    LRESULT paint(NMLVCUSTOMDRAW &draw);
    void noteChange(const NMLISTVIEW &change);
    bool key(const NMLVKEYDOWN &key);
    void selectAll();
    void followSelection();

    HWND m_list;
    GridRows m_rows;
    SelectedRows m_selected;
    std::wstring m_header;
    UINT m_dpi = 96;
    int m_batchDepth = 0;
    // Set while the grid itself sizes its column, the one change let through.
    bool m_fitting = false;
    struct Painting {
        bool listFocused = false;
        bool cuesHidden = false;
    } m_painting;
};

} // namespace search_window
