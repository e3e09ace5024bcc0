#include "jet_engine/format/jet_file.h"

#include "jet_engine/format/file_sniff.h"
#include "jet_engine/format/little_endian.h"
#include "jet_engine/format/page_source.h"
#include "jet_engine/format/row_cursor.h"
#include "jet_engine/format/row_decoder.h"
#include "jet_engine/format/stored_text.h"
#include "jet_engine/format/table_definition.h"
#include "jet_engine/query/text_fold.h"
#include "jet_engine/format/usage_map.h"

#include <algorithm>

namespace jet_engine {

namespace {

constexpr std::uint32_t catalogPage = 2;
constexpr std::uint16_t tableObject = 1;

// The tables MSysObjects lists: names and definition pages of objects of
// the table type.
Outcome<std::vector<TableRef>> listTables(PageSource &pages, const FileFormat &format, const TableLayout &objects,
                                          const CodePageText *jet3)
{
    const int id = findColumn(objects, "Id");
    const int name = findColumn(objects, "Name");
    const int type = findColumn(objects, "Type");
    if (id < 0 || name < 0 || type < 0)
        return Status::NotADatabase;
    const ColumnLayout &idColumn = objects.columns[static_cast<unsigned>(id)];
    const ColumnLayout &nameColumn = objects.columns[static_cast<unsigned>(name)];
    const ColumnLayout &typeColumn = objects.columns[static_cast<unsigned>(type)];
    if (idColumn.type != static_cast<std::uint8_t>(JetType::LongInteger)
        || nameColumn.type != static_cast<std::uint8_t>(JetType::Text)
        || typeColumn.type != static_cast<std::uint8_t>(JetType::Integer))
        return Status::NotADatabase;

    auto dataPages = usageMapPages(objects.usageMap, pages);
    if (!dataPages)
        return Status::NotADatabase;
    RowCursor cursor(pages, format, objects.definitionPage, std::move(*dataPages));
    RowDecoder decoder(format, objects,
                       {static_cast<unsigned>(id), static_cast<unsigned>(name), static_cast<unsigned>(type)});
    const TextDecoder text(jet3);
    FieldBytes fields[3];
    std::vector<TableRef> tables;
    for (RowCursor::Step step; (step = cursor.next()) != RowCursor::Step::End;) {
        if (step == RowCursor::Step::Damaged || !decoder.decode(cursor.row(), cursor.rowSize(), fields))
            return Status::NotADatabase;
        if (!fields[0].present || !fields[1].present || !fields[2].present || fields[0].size < 4 || fields[2].size < 2)
            continue;
        if ((le16(fields[2].data) & 0x7F) != tableObject)
            continue;
        TableRef table;
        table.page = le32(fields[0].data) & 0x00FFFFFF;
        text.append(fields[1].data, fields[1].size, table.name);
        tables.push_back(std::move(table));
    }
    return tables;
}

} // namespace

int findColumn(const TableLayout &table, std::string_view name)
{
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (sameName(table.columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

struct JetFile::State {
    std::unique_ptr<ReadableFile> file;
    FileFormat format;
    std::unique_ptr<CodePageText> jet3;
    std::vector<TableRef> tables;

    // The file's size now: the program keeps its database open for a whole
    // session while the application that owns the file adds rows to it.
    std::optional<FileIdentity> now() const { return file->identity(); }

    Outcome<TableLayout> definition(const TableRef &table, std::uint64_t fileSize)
    {
        PageSource pages(*file, format.pageSize, fileSize);
        return readTableDefinition(pages, format, TextDecoder(jet3.get()), table.page, table.name);
    }
};

JetFile::JetFile(std::unique_ptr<State> state) : m_state(std::move(state)) {}
JetFile::~JetFile() = default;

Outcome<std::unique_ptr<JetFile>> JetFile::open(OperatingSystem &system, const std::string &path)
{
    auto state = std::make_unique<State>();
    // A pipe or device under the database's name opens without waiting;
    // sniffFile turns those away.
    auto file = system.openForReading(path);
    if (!file.ok())
        return file.status();
    state->file = std::move(file.value());
    const auto sniffed = sniffFile(*state->file);
    if (!sniffed.ok())
        return sniffed.status();
    const FileFacts &facts = sniffed.value();
    state->format = facts.format;
    if (state->format.jet3 && !(state->jet3 = CodePageText::open(system, state->format.codePage)))
        return Status::NotADatabase;

    auto objects = state->definition({"MSysObjects", catalogPage}, facts.size);
    if (!objects.ok())
        return Status::NotADatabase;
    PageSource pages(*state->file, state->format.pageSize, facts.size);
    auto tables = listTables(pages, state->format, objects.value(), state->jet3.get());
    if (!tables.ok())
        return tables.status();
    state->tables = std::move(tables.value());
    return std::unique_ptr<JetFile>(new JetFile(std::move(state)));
}

std::optional<TableRef> JetFile::findTable(std::string_view name) const
{
    for (const TableRef &table : m_state->tables)
        if (sameName(table.name, name))
            return table;
    return std::nullopt;
}

Outcome<TableLayout> JetFile::definition(const TableRef &table)
{
    const auto now = m_state->now();
    if (!now)
        return Status::ReadFailed;
    return m_state->definition(table, now->size);
}

Outcome<std::vector<std::string>> JetFile::columnNames(const TableRef &table)
{
    auto layout = definition(table);
    if (!layout.ok())
        return layout.status();
    std::vector<std::string> names;
    for (const ColumnLayout &column : layout.value().columns)
        names.push_back(column.name);
    return names;
}

Outcome<TablePages> JetFile::tablePages(const TableLayout &table)
{
    const auto now = m_state->now();
    if (!now)
        return Status::ReadFailed;
    PageSource pages(*m_state->file, m_state->format.pageSize, now->size);
    auto dataPages = usageMapPages(table.usageMap, pages);
    if (!dataPages)
        return Status::ReadFailed;
    return TablePages{m_state->file.get(), now->size, m_state->format, table, std::move(*dataPages)};
}

const CodePageText *JetFile::codePageText() const { return m_state->jet3.get(); }

std::unique_ptr<CodePageText> JetFile::anotherCodePageText() const
{
    return m_state->jet3 ? m_state->jet3->another() : nullptr;
}

std::optional<FileIdentity> JetFile::identity() const { return m_state->now(); }

const FileFormat &JetFile::format() const { return m_state->format; }

const ReadableFile &JetFile::handle() const { return *m_state->file; }

Outcome<TableLayout> JetFile::definition(const TableRef &table, std::uint64_t fileSize)
{
    return m_state->definition(table, fileSize);
}

} // namespace jet_engine
