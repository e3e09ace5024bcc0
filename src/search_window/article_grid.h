#pragma once
// What the search asks of the window's grid, whatever the toolkit: the
// grid's rows count its one header row, as the form's code expects, and
// rows added between beginUpdate and endUpdate reach the screen at once.

#include "jet_engine/field_run.h"
#include "jet_engine/field_value.h"

#include <memory>

namespace search_window {

class ArticleGrid {
public:
    virtual ~ArticleGrid() = default;

    // 1 means no data rows.
    virtual int Rows() const = 0;
    virtual void setRows(int rows) = 0;

    // The value's text is UTF-8 and stays valid for as long as `keepAlive`
    // does; its kind tells how the grid shows it. A column has one kind.
    virtual void AddItem(const jet_engine::FieldValue &value, const std::shared_ptr<const void> &keepAlive) = 0;
    // Every value of the run, in its order, as AddItem would add them one by one.
    virtual void AddItems(const jet_engine::FieldRun &run) = 0;

    virtual void beginUpdate() = 0;
    virtual void endUpdate() = 0;
};

} // namespace search_window
