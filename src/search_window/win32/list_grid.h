#pragma once
// The grid as a report-style list view in virtual mode: the list view holds
// no text, only a row count, and asks for the text of the rows it paints
// (LVN_GETDISPINFOW), which alone become UTF-16. A refill is one
// LVM_SETITEMCOUNT. One column shown, set up from the design-time format string:
// an optional '^' that centres header and cells, then the header text, whose
// spaces also give the column its width in the grid's font. Each row's whole
// text is its tooltip, since the column cuts long designations short; Ctrl+C
// copies the selected rows, one a line.

#include "search_window/article_grid.h"
#include "search_window/grid_rows.h"
#include "search_window/win32/windows_api.h"

#include <memory>
#include <string>
#include <string_view>

namespace search_window {

class ListGrid final : public ArticleGrid {
public:
    // A child of `parent` with control id `id`, empty and without columns.
    ListGrid(HWND parent, int id);
    ListGrid(const ListGrid &) = delete;
    ListGrid &operator=(const ListGrid &) = delete;

    HWND window() const { return m_list; }

    // The list view's columns: the one shown, and one of no width before it.
    static constexpr int hiddenColumn = 0;
    static constexpr int shownColumn = 1;

    void setFormatString(std::u16string_view format);
    // The grid's font (the header takes it too) and the column's width in it.
    void setFont(HFONT font, UINT dpi);

    // Answers the list view's notifications to the parent: the text of the
    // rows it paints and of their tooltips, the row the user's typing leads
    // to, Ctrl+C. False for those the parent's default handling should have.
    bool notify(NMHDR &header, LRESULT &result) const;

    int Rows() const override;
    void setRows(int rows) override;
    void AddItem(const article_database::FieldValue &value, const std::shared_ptr<const void> &keepAlive) override;
    void AddItems(const article_database::FieldRun &run) override;
    void beginUpdate() override;
    void endUpdate() override;

private:
    void fitColumn();
    // The list view learns the new row count, at once or when the batch ends.
    void showRows();
    void showText(LVITEMW &item) const;
    void showTip(NMLVGETINFOTIPW &tip) const;
    int findRow(const NMLVFINDITEMW &find) const;
    void copySelectedRows() const;

    HWND m_list;
    GridRows m_rows;
    std::wstring m_header;
    UINT m_dpi = 96;
    int m_batchDepth = 0;
};

} // namespace search_window
