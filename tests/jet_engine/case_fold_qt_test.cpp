// The engine's case folding against QChar::toCaseFolded, which it went
// through before it had a table of its own, over every code point. Qt is
// Linux-only here, and so is this test.

#include "jet_engine/query/case_fold_table.h"
#include "jet_engine/query/text_fold.h"

#include <QChar>

#include <gtest/gtest.h>

namespace jet_engine {
namespace {

// Whether Qt's Unicode data, older than ours or not, has `c` as a character.
bool knownToQt(char32_t c)
{
    const QChar::UnicodeVersion added = QChar::unicodeVersion(c);
    return added != QChar::Unicode_Unassigned && added <= QChar::currentUnicodeVersion();
}

TEST(CaseFoldAgainstQt, AgreesOnEveryCharacterQtKnows)
{
    // Debian 12's Qt 6.4 carries Unicode 14.0 and our table comes from the
    // unicode-data package's CaseFolding.txt (15.0.0 there). Unicode 15.0
    // added no case pair, so the two agree on every code point today. A
    // newer CaseFolding.txt may fold characters added since Qt's version, of
    // which Qt knows nothing: only there may the two differ.
    int newerThanQt = 0;
    int differences = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const char32_t ours = foldCase(c);
        const char32_t qts = QChar::toCaseFolded(c);
        if (ours == qts)
            continue;
        if (!knownToQt(c) || !knownToQt(ours)) {
            ++newerThanQt;
            continue;
        }
        if (differences++ < 20) {
            ADD_FAILURE() << std::hex << std::uppercase << "U+" << static_cast<unsigned>(c) << " folds to U+"
                          << static_cast<unsigned>(ours) << ", Qt folds it to U+" << static_cast<unsigned>(qts);
        }
    }
    EXPECT_EQ(differences, 0) << "differences on characters Qt knows, table from Unicode " << caseFoldUnicodeVersion;
    RecordProperty("differences_on_characters_newer_than_qt", newerThanQt);
}

} // namespace
} // namespace jet_engine
