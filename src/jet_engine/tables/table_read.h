#pragma once
// A table of an open file read into memory: the rows of the columns a search
// will scan at once, the other columns when first asked for.

#include "jet_engine/format/jet_file.h"
#include "jet_engine/status.h"
#include "jet_engine/tables/snapshot.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace jet_engine {

class WorkerPool;

// Reads the rows of the first column and of the columns named in `alsoRead`
// (folded for searches as well), in Jet's order, with a worker of `pool`
// when one is free; the other columns are read when first asked for, from
// the same state of the file or not at all. Setting `cancel` ends the read
// with ReadFailed.
Outcome<std::shared_ptr<const Snapshot>> readTable(JetFile &file, const TableRef &table,
                                                   const std::vector<std::string> &alsoRead = {},
                                                   const std::atomic<bool> *cancel = nullptr,
                                                   std::shared_ptr<WorkerPool> pool = nullptr);

} // namespace jet_engine
