// The damaged copies of bad_files_test.cpp, read by libmdb as well.

#include "damaged_sample.h"
#include "reader_rows.h"

#include <gtest/gtest.h>

#include <iostream>

namespace jet_engine {
namespace {

using testing_support::damagedCopy;
using testing_support::kDamagedCopies;

class DamagedCopyTest : public testing_support::SampleFileTest,
                        public testing::WithParamInterface<mdb_writer::Format> {
protected:
    void SetUp() override { writeSample(GetParam()); }
};

// The same damaged copies read by the engine and by libmdb, every row and
// column compared as the differential test does: on the undamaged sample
// both read and agree; on a damaged copy, where both read, they agree. The
// engine's refusing a copy is acceptable. libmdb runs in a child process
// under a time limit, since it crashes or loops on some damaged files.
TEST_P(DamagedCopyTest, RandomlyDamagedCopyAgreesWithLibmdbWhereBothRead)
{
    // A value cannot be longer than the file, so libmdb never cuts one.
    const std::size_t bind = m_bytes.size() + 16;
    const testing_support::Reading engineGood = testing_support::readWithEngine(m_good, "ARTICLE");
    ASSERT_TRUE(engineGood.ok) << engineGood.failure;
    const testing_support::Reading libmdbGood = testing_support::readWithLibmdb(m_good, "ARTICLE", bind, 60);
    ASSERT_TRUE(libmdbGood.ok) << libmdbGood.failure;
    ASSERT_EQ(engineGood.rows.size(), 400u);
    EXPECT_EQ(engineGood.rows, libmdbGood.rows);

    const std::string path = m_dir.file("damaged.mdb");
    unsigned compared = 0;
    unsigned engineRefused = 0;
    unsigned libmdbFailed = 0;
    for (unsigned seed = 1; seed <= kDamagedCopies; ++seed) {
        testing_support::writeBytes(path, damagedCopy(m_bytes, seed));
        const testing_support::Reading engine = testing_support::readWithEngine(path, "ARTICLE");
        if (!engine.ok) {
            ++engineRefused;
            continue;
        }
        const testing_support::Reading libmdb = testing_support::readWithLibmdb(path, "ARTICLE", bind, 10);
        if (!libmdb.ok) {
            ++libmdbFailed;
            continue;
        }
        ++compared;
        if (libmdb.rows.size() != engine.rows.size()) {
            ADD_FAILURE() << "seed " << seed << ": the engine reads " << engine.rows.size() << " rows, libmdb "
                          << libmdb.rows.size();
            continue;
        }
        for (std::size_t i = 0; i < engine.rows.size(); ++i) {
            if (engine.rows[i] != libmdb.rows[i]) {
                ADD_FAILURE() << "seed " << seed << ", row " << i << ": engine "
                              << testing_support::describe(engine.rows[i]) << ", libmdb "
                              << testing_support::describe(libmdb.rows[i]) << "; "
                              << testing_support::firstDifference(engine.rows[i], libmdb.rows[i]);
                break;
            }
        }
    }
    std::cout << "[ differential ] " << compared << " of " << kDamagedCopies
              << " damaged copies compared with libmdb; the engine refused " << engineRefused
              << ", libmdb failed, warned or ran out of time on " << libmdbFailed << "\n";
    RecordProperty("damaged_copies_compared", static_cast<int>(compared));
    EXPECT_GT(compared, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedCopyTest,
                         testing::Values(mdb_writer::Format::Jet4, mdb_writer::Format::Jet3),
                         [](const testing::TestParamInfo<mdb_writer::Format> &info) {
                             return info.param == mdb_writer::Format::Jet3 ? "Jet3" : "Jet4";
                         });

} // namespace
} // namespace jet_engine
