#pragma once
// A kept table brought up to a later state of its file page by page: only
// the rows of the pages whose bytes changed are read again, the rest are
// kept where they lie, with their index.

#include "jet_engine/format/jet_file.h"
#include "jet_engine/status.h"
#include "jet_engine/tables/snapshot.h"
#include "jet_engine/watch/file_state.h"

#include <memory>

namespace jet_engine {

class OperatingSystem;

// Whether `rows` rows read from a file in `state` can be its table, whose
// definition is `layout`. Caught halfway through being written over, a file
// may hold the new definition and only some of its pages, each of them
// whole: the rows then fall short of, or pass, the count the definition
// keeps. A file whose times have settled is taken as it is.
bool wholeTable(const TableLayout &layout, std::uint32_t rows, const FileState &state);

// The table `table` of `file` as the file holds it in `now`, a capture with
// every page's digest taken just before, given `kept`, read from the same
// file. `kept` itself when none of its rows changed; a patched snapshot
// otherwise. Null when reading it whole pays better: too many pages
// changed, its definition changed, or `kept` was not read whole. ReadFailed
// when a page read now is not what `now` holds: it is being written, and
// the next capture tries again. `system` outlives the snapshot returned.
// The rows are read through `through` when given (a handle past this
// machine's cache), else through the file's own handle.
Outcome<std::shared_ptr<const Snapshot>> refreshTable(JetFile &file, const TableRef &table,
                                                      const std::shared_ptr<const Snapshot> &kept,
                                                      const FileState &now, OperatingSystem &system,
                                                      const ReadableFile *through = nullptr);

} // namespace jet_engine
