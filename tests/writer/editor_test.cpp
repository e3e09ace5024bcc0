// Files the writer wrote, edited in place as Access edits a database others
// read, then read back with libmdb and mdb-export and walked in their page
// bytes in Jet's order. Each edit writes only the pages it must, adds pages
// only when it says so, and with Times::Kept leaves the file's last write
// and access times as they were, to the nanosecond.

#include "file_bytes.h"
#include "mdb_editor.h"
#include "read_back.h"
#include "shape_catalog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>

using namespace mdb_writer;
using namespace writer_test;
using test_support::le16;
using test_support::le32;

namespace {

// The writer keeps usage maps on page 1 and puts the first table's
// definition right after the three pages it reserves.
constexpr std::uint32_t kMapHolder = 1;
constexpr std::uint32_t kFirstDefinition = 3;

std::size_t pageSize(Format format)
{
    return format == Format::Jet3 ? 2048 : 4096;
}

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string designation(std::size_t i)
{
    return "ARTICLE " + std::to_string(i) + " " + std::string(5 + i % 23, static_cast<char>('a' + i % 26));
}

// Short notes stay in their row; row 9's goes to a long-value page.
Table articles(Format)
{
    Table t;
    t.name = "ARTICLES";
    t.columns = {{"N", ColumnType::LongInteger},
                 {"DESIGNATION", ColumnType::Text, 255},
                 {"PRIX", ColumnType::Double},
                 {"NOTE", ColumnType::Memo}};
    for (std::size_t i = 0; i < 240; ++i) {
        Cell note = Null{};
        if (i == 9)
            note = std::string(300, 'm');
        else if (i % 10 == 3)
            note = "note " + std::to_string(i);
        t.rows.push_back({static_cast<std::int32_t>(i), designation(i), 0.5 * static_cast<double>(i), note});
    }
    return t;
}

// Where each row readers list lies, in Jet's order: N, its home page and
// the page of its data.
struct Placed {
    std::int32_t n;
    std::uint32_t home;
    std::uint32_t data;
};

struct Layout {
    std::vector<Placed> rows;
    std::vector<std::uint32_t> bitmaps;
    std::uint32_t pages = 0;
};

Layout layoutOf(const std::string &bytes, Format format)
{
    const bool jet3 = format == Format::Jet3;
    const std::size_t size = pageSize(format), countAt = jet3 ? 8 : 12, nAt = jet3 ? 1 : 2;
    const auto entry = [&](std::size_t page, std::size_t row) {
        return le16(bytes, page * size + countAt + 2 + 2 * row);
    };
    const auto n = [&](std::size_t page, std::uint16_t e) {
        return static_cast<std::int32_t>(le32(bytes, page * size + (e & 0x1FFF) + nAt));
    };
    Layout layout;
    layout.pages = static_cast<std::uint32_t>(bytes.size() / size);
    for (std::uint32_t p = 0; p < layout.pages; ++p) {
        if (bytes[p * size] == 0x05)
            layout.bitmaps.push_back(p);
        if (bytes[p * size] != 0x01 || le32(bytes, p * size + 4) != kFirstDefinition)
            continue;
        for (std::size_t r = 0; r < le16(bytes, p * size + countAt); ++r) {
            const std::uint16_t e = entry(p, r);
            if ((e & 0xC000) == 0) {
                layout.rows.push_back({n(p, e), p, p});
            } else if ((e & 0xC000) == 0x4000) {
                const std::uint32_t where = le32(bytes, p * size + (e & 0x1FFF));
                layout.rows.push_back({n(where >> 8, entry(where >> 8, where & 0xFF)), p, where >> 8});
            }
        }
    }
    return layout;
}

struct EditCase {
    std::string name;
    std::function<Table(Format)> base;
    // Edits with Times::Kept; the layout is the file's before the edit.
    std::function<std::string(Editor &, const Layout &)> edit;
    std::function<void(shapes::Visible &)> expect;
    // Pages written, new ones included.
    std::function<std::set<std::uint32_t>(const Layout &)> written;
    std::uint32_t pagesAdded = 0;
};

// Long enough that a Jet 3 row holding it needs a jump table.
const std::string kLonger(250, 'e');

Row addedToGrande()
{
    return {std::int32_t{99999}, std::string("À LA FIN"), 2.5};
}

std::vector<EditCase> editCases()
{
    const auto setText = [](std::size_t row, const std::string &text) {
        return [row, text](Editor &e, const Layout &) {
            return e.setText("ARTICLES", row, "DESIGNATION", text, Times::Kept);
        };
    };
    const auto then = [](auto first, auto second) {
        return [first, second](Editor &e, const Layout &was) {
            const std::string error = first(e, was);
            return error.empty() ? second(e, was) : error;
        };
    };
    const auto shows = [](std::vector<std::pair<std::size_t, std::string>> texts, std::set<std::size_t> moved = {}) {
        return [texts, moved](shapes::Visible &v) {
            for (const auto &[row, text] : texts)
                v.rows[row][1] = text;
            for (std::size_t row : moved)
                v.moved[row] = true;
        };
    };
    const auto homes = [](std::set<std::size_t> rows, std::set<std::uint32_t> others = {}) {
        return [rows, others](const Layout &was) {
            std::set<std::uint32_t> pages = others;
            for (std::size_t row : rows)
                pages.insert(was.rows[row].home);
            return pages;
        };
    };
    const std::string same(designation(5).size(), 'Z');
    const Row added{std::int32_t{240}, std::string("NOUVEL ARTICLE"), 12.5, std::string(300, 'n')};
    return {
        {"SameLength", articles, setText(5, same), shows({{5, same}}), homes({5})},
        {"Shorter", articles, setText(6, "COURT"), shows({{6, "COURT"}}), homes({6})},
        // The room row 6 leaves lets row 7 grow on its page.
        {"LongerWithinItsPage", articles, then(setText(6, "C"), setText(7, designation(7) + "++++")),
         shows({{6, "C"}, {7, designation(7) + "++++"}}), homes({6, 7})},
        {"LongerOverflowsToANewPage", articles, setText(9, kLonger), shows({{9, kLonger}}, {9}),
         [](const Layout &was) { return std::set<std::uint32_t>{was.rows[9].home, was.pages, kMapHolder}; }, 1},
        {"SecondOverflowSharesThatPage", articles, then(setText(9, kLonger), setText(100, kLonger)),
         shows({{9, kLonger}, {100, kLonger}}, {9, 100}),
         [](const Layout &was) {
             return std::set<std::uint32_t>{was.rows[9].home, was.rows[100].home, was.pages, kMapHolder};
         },
         1},
        {"MovedRowRewrittenWhereItsDataLies", articles, then(setText(9, kLonger), setText(9, "DE RETOUR")),
         shows({{9, "DE RETOUR"}}, {9}),
         [](const Layout &was) { return std::set<std::uint32_t>{was.rows[9].home, was.pages, kMapHolder}; }, 1},
        {"WriterMovedRowRewrittenWhereItsDataLies",
         [](Format format) { return shapes::shape("MovedRows", format).table; },
         [](Editor &e, const Layout &) { return e.setText("DEPLACEES", 10, "DESIGNATION", "COURT", Times::Kept); },
         shows({{10, "COURT"}}), [](const Layout &was) { return std::set<std::uint32_t>{was.rows[10].data}; }},
        // More pages than an inline usage map reaches: a bitmap page takes the mark.
        {"AddedRowMarkedInABitmapPage", [](Format format) { return shapes::shape("ManyPages", format).table; },
         [](Editor &e, const Layout &) { return e.addRow("GRANDE", addedToGrande(), Times::Kept); },
         [](shapes::Visible &v) {
             v.rows.push_back(addedToGrande());
             v.moved.push_back(false);
         },
         [](const Layout &was) { return std::set<std::uint32_t>{was.pages, was.bitmaps.at(0), kFirstDefinition}; }, 1},
        // Its long note goes to a long-value page of its own first.
        {"AddedRowOnANewPage", articles,
         [added](Editor &e, const Layout &) { return e.addRow("ARTICLES", added, Times::Kept); },
         [added](shapes::Visible &v) {
             v.rows.push_back(added);
             v.moved.push_back(false);
         },
         [](const Layout &was) {
             return std::set<std::uint32_t>{was.pages, was.pages + 1, kMapHolder, kFirstDefinition};
         },
         2},
        {"DeletedRow", articles, [](Editor &e, const Layout &) { return e.deleteRow("ARTICLES", 3, Times::Kept); },
         [](shapes::Visible &v) {
             v.rows.erase(v.rows.begin() + 3);
             v.moved.erase(v.moved.begin() + 3);
         },
         homes({3}, {kFirstDefinition})},
    };
}

struct EditParam {
    Format format;
    EditCase edit;
};

void PrintTo(const EditParam &p, std::ostream *os)
{
    *os << p.edit.name << (p.format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)");
}

std::vector<EditParam> editParams()
{
    std::vector<EditParam> params;
    for (const Format format : {Format::Jet4, Format::Jet3})
        for (const EditCase &c : editCases())
            params.push_back({format, c});
    return params;
}

// Times no write or read of the test's could leave by chance.
constexpr timespec kAccessed{1000000000, 123456789};
constexpr timespec kWritten{1100000000, 987654321};

void setTimes(const std::string &path)
{
    const timespec both[2] = {kAccessed, kWritten};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), both, 0), 0);
}

struct stat statOf(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st;
}

class EditedFile : public testing::TestWithParam<EditParam> {};

TEST_P(EditedFile, ShowsTheEditAndWritesOnlyItsPages)
{
    const Format format = GetParam().format;
    const EditCase &c = GetParam().edit;
    TempDir dir;
    const std::string path = dir.file("edited.mdb");
    const Table table = c.base(format);
    ASSERT_EQ(writeDatabase(path, {table}, format), "");
    const std::string before = contents(path);
    const Layout was = layoutOf(before, format);

    Editor editor;
    ASSERT_EQ(editor.open(path), "");
    setTimes(path);
    ASSERT_EQ(c.edit(editor, was), "");
    // As a reader sees them while the editor still holds the file.
    const struct stat st = statOf(path);
    EXPECT_EQ(st.st_mtim.tv_sec, kWritten.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, kWritten.tv_nsec);
    EXPECT_EQ(st.st_atim.tv_sec, kAccessed.tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, kAccessed.tv_nsec);
    editor.close();

    const std::string after = contents(path);
    const std::size_t size = pageSize(format);
    ASSERT_EQ(after.size(), before.size() + c.pagesAdded * size);
    std::set<std::uint32_t> written;
    for (std::uint32_t p = 0; p < after.size() / size; ++p) {
        if (p >= was.pages || after.compare(p * size, size, before, p * size, size) != 0)
            written.insert(p);
    }
    EXPECT_EQ(written, c.written(was));

    shapes::Visible shown = shapes::visible(table);
    c.expect(shown);
    std::vector<std::int32_t> order, expectedOrder;
    std::vector<bool> moved;
    for (const Placed &row : layoutOf(after, format).rows) {
        order.push_back(row.n);
        moved.push_back(row.home != row.data);
    }
    for (const Row &row : shown.rows)
        expectedOrder.push_back(std::get<std::int32_t>(row[0]));
    EXPECT_EQ(order, expectedOrder) << "Jet's order";
    EXPECT_EQ(moved, shown.moved);

    const auto read = readWithLibmdb(path, table.name);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->declaredRows, shown.rows.size());
    std::vector<PrintedRow> csv = exportCsv(path, table.name);
    ASSERT_FALSE(csv.empty());
    csv.erase(csv.begin());
    expectShown("mdb-export", csv, shown.columns, shown.rows, shown.moved);
}

INSTANTIATE_TEST_SUITE_P(Edits, EditedFile, testing::ValuesIn(editParams()),
                         [](const testing::TestParamInfo<EditParam> &info) {
                             return info.param.edit.name + (info.param.format == Format::Jet3 ? "_Jet3" : "_Jet4");
                         });

TEST(EditorTimes, UpdatedByDefault)
{
    TempDir dir;
    const std::string path = dir.file("touched.mdb");
    ASSERT_EQ(writeDatabase(path, {articles(Format::Jet4)}), "");
    Editor editor;
    ASSERT_EQ(editor.open(path), "");
    setTimes(path);
    ASSERT_EQ(editor.setText("ARTICLES", 1, "DESIGNATION", "UN"), "");
    EXPECT_NE(statOf(path).st_mtim.tv_sec, kWritten.tv_sec);
}

// Half of a page's new bytes, then the rest: in between, the page is neither
// the old one nor the new one; after, the file is the edited one.
TEST(EditorTornPage, HalfAPageThenTheRest)
{
    for (const Format format : {Format::Jet4, Format::Jet3}) {
        TempDir dir;
        const std::string path = dir.file("torn.mdb"), edited = dir.file("edited.mdb");
        ASSERT_EQ(writeDatabase(path, {articles(format)}, format), "");
        ASSERT_EQ(writeDatabase(edited, {articles(format)}, format), "");
        Editor editor;
        ASSERT_EQ(editor.open(edited), "");
        ASSERT_EQ(editor.setText("ARTICLES", 5, "DESIGNATION", "COURT"), "");
        const std::string old = contents(path), wanted = contents(edited);
        const std::size_t size = pageSize(format), half = size / 2;
        const std::uint32_t page = layoutOf(old, format).rows[5].home;
        const auto from = [&](std::size_t at, std::size_t n) {
            return std::vector<std::uint8_t>(wanted.begin() + static_cast<std::ptrdiff_t>(page * size + at),
                                             wanted.begin() + static_cast<std::ptrdiff_t>(page * size + at + n));
        };

        ASSERT_EQ(editor.open(path), "");
        ASSERT_EQ(editor.writeBytes(page, 0, from(0, half)), "");
        const std::string torn = contents(path);
        EXPECT_EQ(torn.compare(page * size, half, wanted, page * size, half), 0);
        EXPECT_EQ(torn.compare(page * size + half, half, old, page * size + half, half), 0);
        EXPECT_NE(torn, old);
        EXPECT_NE(torn, wanted);
        ASSERT_EQ(editor.writeBytes(page, half, from(half, half)), "");
        EXPECT_EQ(contents(path), wanted);
    }
}

struct Refusal {
    std::string label;
    std::function<std::string(Editor &)> edit;
    std::string reason;
    std::function<std::vector<Table>(Format)> tables = [](Format format) { return std::vector<Table>{articles(format)}; };
    bool jet3Only = false;
};

// More pages after the first table's than its inline usage map reaches.
Table bigMemo()
{
    Table t;
    t.name = "NOTES";
    t.columns = {{"NOTE", ColumnType::Memo}};
    t.rows = {{std::string(2400000, 'x')}};
    return t;
}

std::vector<Refusal> refusals()
{
    const Row row{std::int32_t{240}, std::string("NOUVEAU"), 1.0, Null{}};
    return {
        {"UnknownTable", [](Editor &e) { return e.setText("AUCUNE", 0, "DESIGNATION", "X"); }, "no table named \"AUCUNE\""},
        {"RowPastTheEnd", [](Editor &e) { return e.setText("ARTICLES", 240, "DESIGNATION", "X"); }, "has no row 240"},
        {"DeletePastTheEnd", [](Editor &e) { return e.deleteRow("ARTICLES", 240); }, "has no row 240"},
        {"UnknownColumn", [](Editor &e) { return e.setText("ARTICLES", 0, "PRIXX", "X"); }, "no column named \"PRIXX\""},
        {"NotAText", [](Editor &e) { return e.setText("ARTICLES", 0, "PRIX", "X"); }, "not a Text column"},
        {"TooLong", [](Editor &e) { return e.setText("ARTICLES", 0, "DESIGNATION", std::string(256, 'x')); },
         "256 UTF-16 units"},
        {"OutsideWindows1252", [](Editor &e) { return e.setText("ARTICLES", 0, "DESIGNATION", "中"); },
         "Windows-1252", [](Format format) { return std::vector<Table>{articles(format)}; }, true},
        {"CellCount", [](Editor &e) { return e.addRow("ARTICLES", {std::int32_t{1}, Null{}}); },
         "2 cells for the 4 columns"},
        {"DeletedColumns", [row](Editor &e) { return e.addRow("COLONNES", row); }, "has deleted columns",
         [](Format format) { return std::vector<Table>{shapes::shape("DeletedColumns", format).table}; }},
        {"BeyondTheInlineMap", [row](Editor &e) { return e.addRow("ARTICLES", row); }, "cannot name page",
         [](Format format) { return std::vector<Table>{articles(format), bigMemo()}; }},
        {"PastThePageEnd", [](Editor &e) { return e.writeBytes(4, 4095, {1, 2}); }, "run past the end"},
    };
}

struct RefusalParam {
    Format format;
    Refusal refusal;
};

void PrintTo(const RefusalParam &p, std::ostream *os)
{
    *os << p.refusal.label << (p.format == Format::Jet3 ? " (Jet 3)" : " (Jet 4)");
}

std::vector<RefusalParam> refusalParams()
{
    std::vector<RefusalParam> params;
    for (const Format format : {Format::Jet4, Format::Jet3})
        for (const Refusal &r : refusals())
            if (format == Format::Jet3 || !r.jet3Only)
                params.push_back({format, r});
    return params;
}

class EditorRefuses : public testing::TestWithParam<RefusalParam> {};

TEST_P(EditorRefuses, WithAReasonAndNoWrite)
{
    TempDir dir;
    const std::string path = dir.file("refused.mdb");
    ASSERT_EQ(writeDatabase(path, GetParam().refusal.tables(GetParam().format), GetParam().format), "");
    const std::string before = contents(path);
    Editor editor;
    ASSERT_EQ(editor.open(path), "");
    const std::string error = GetParam().refusal.edit(editor);
    EXPECT_NE(error.find(GetParam().refusal.reason), std::string::npos) << "error: " << error;
    editor.close();
    EXPECT_EQ(contents(path), before);
}

INSTANTIATE_TEST_SUITE_P(Refusals, EditorRefuses, testing::ValuesIn(refusalParams()),
                         [](const testing::TestParamInfo<RefusalParam> &info) {
                             return info.param.refusal.label + (info.param.format == Format::Jet3 ? "_Jet3" : "_Jet4");
                         });

} // namespace
