#include "jet_engine/stream/table_stream.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace jet_engine {

namespace {

// Runs matched ahead of the one given out, per helper: enough that a helper
// rarely waits on the caller, few enough that memory stays flat.
constexpr std::size_t runsAheadPerHelper = 2;
constexpr unsigned mostHelpers = 4;

} // namespace

TableStream::TableStream(OperatingSystem &system, FileState before, std::shared_ptr<JetFile> file, TablePages pages,
                         RowFilter filter)
    : m_system(system)
    , m_before(std::move(before))
    , m_file(std::move(file))
    , m_pages(std::move(pages))
    , m_filter(std::move(filter))
{
    // A run ends where a block of pages does, so that each block is read
    // once, by one thread.
    const std::vector<std::uint32_t> &dataPages = m_pages.dataPages;
    for (std::size_t i = 0; i < dataPages.size(); ++i)
        if (i == 0 || dataPages[i] / PageSource::blockPages != dataPages[i - 1] / PageSource::blockPages)
            m_runStarts.push_back(i);
    m_runStarts.push_back(dataPages.size());
    startHelpers();
}

TableStream::~TableStream()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread &helper : m_helpers)
        helper.join();
}

std::size_t TableStream::runCount() const { return m_runStarts.size() - 1; }

void TableStream::startHelpers()
{
    const unsigned processors = std::thread::hardware_concurrency();
    m_runs.resize(1);
    // A small table, or no processor to spare: the caller matches every
    // run itself, as it gives them out.
    if (runCount() < 2 || processors < 2)
        return;
    const std::size_t helpers = std::min<std::size_t>({processors, mostHelpers, runCount() - 1});
    m_runs.resize(helpers * runsAheadPerHelper);
    m_helperText.reserve(helpers);
    m_helpers.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
        std::unique_ptr<CodePageText> text;
        if (m_pages.format.jet3 && !(text = m_file->anotherCodePageText()))
            break;
        const CodePageText *jet3 = text.get();
        m_helperText.push_back(std::move(text));
        try {
            m_helpers.emplace_back([this, jet3] { help(jet3); });
        } catch (const std::system_error &) {
            break;
        }
    }
    if (m_helpers.empty())
        m_runs.resize(1);
}

void TableStream::help(const CodePageText *jet3)
{
    const std::size_t runs = runCount();
    std::optional<PageSource> pages;
    for (;;) {
        std::size_t n = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return m_stopping || m_claimed >= runs || m_claimed < m_current + m_runs.size();
            });
            if (m_stopping || m_claimed >= runs)
                return;
            n = m_claimed++;
        }
        Run &run = m_runs[n % m_runs.size()];
        try {
            if (!pages)
                pages.emplace(*m_pages.file, m_pages.format.pageSize, m_pages.fileSize);
            matchRun(m_pages, *pages, m_runStarts[n], m_runStarts[n + 1], jet3, m_filter, run.rows);
        } catch (const std::bad_alloc &) {
            run.rows.selected.clear();
            run.rows.status = Status::OutOfMemory;
        }
        {
            std::lock_guard lock(m_mutex);
            run.ready = true;
        }
        m_changed.notify_all();
    }
}

TableStream::Run *TableStream::takeRun()
{
    const std::size_t n = m_current;
    if (n >= runCount())
        return nullptr;
    if (m_helpers.empty()) {
        Run &run = m_runs.front();
        if (!m_ownPages)
            m_ownPages.emplace(*m_pages.file, m_pages.format.pageSize, m_pages.fileSize);
        matchRun(m_pages, *m_ownPages, m_runStarts[n], m_runStarts[n + 1], m_file->codePageText(), m_filter,
                 run.rows);
        return &run;
    }
    Run &run = m_runs[n % m_runs.size()];
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return run.ready; });
    return &run;
}

void TableStream::releaseRun()
{
    {
        std::lock_guard lock(m_mutex);
        m_run->ready = false;
        ++m_current;
    }
    m_changed.notify_all();
    m_run = nullptr;
}

bool TableStream::unchanged()
{
    return m_before.unchanged(m_system, m_watchBuffer);
}

Status TableStream::ended(Status status)
{
    m_end = unchanged() ? status : Status::FileChanged;
    return *m_end;
}

Outcome<bool> TableStream::next()
{
    if (m_end)
        return *m_end == Status::Ok ? Outcome<bool>(false) : Outcome<bool>(*m_end);
    for (;;) {
        if (!m_run) {
            m_run = takeRun();
            m_row = 0;
            if (!m_run) {
                if (const Status status = ended(Status::Ok); status != Status::Ok)
                    return status;
                return false;
            }
        }
        if (m_row < m_run->rows.size()) {
            m_first = m_run->rows.at(m_row++);
            return true;
        }
        if (m_run->rows.status != Status::Ok)
            return ended(m_run->rows.status);
        releaseRun();
    }
}

Outcome<std::unique_ptr<StreamedFile>> StreamedFile::open(OperatingSystem &system, const std::string &path)
{
    std::unique_ptr<StreamedFile> streamed(new StreamedFile(system, path));
    // Taken before the open, the identity is never newer than what was
    // opened.
    streamed->m_opened = regularFileAt(system, path);
    auto file = JetFile::open(system, path);
    if (!file.ok())
        return file.status();
    streamed->m_file = std::move(file.value());
    return streamed;
}

Outcome<std::unique_ptr<TableStream>> StreamedFile::stream(const QueryText &query)
{
    auto before = FileState::capture(m_system, m_path, m_watchBuffer);
    if (!before)
        return Status::ReadFailed;
    if (!m_file || m_opened != before->identity()) {
        // The database was open: whatever the file has become, it broke
        // while in use.
        m_file.reset();
        auto file = JetFile::open(m_system, m_path);
        if (!file.ok())
            return Status::ReadFailed;
        m_file = std::move(file.value());
        m_opened = before->identity();
    }

    const auto table = m_file->findTable(query.table);
    if (!table)
        return Status::NoSuchTable;
    auto layout = m_file->definition(*table);
    if (!layout.ok())
        return layout.status();
    RowFilter filter;
    filter.wanted = {0};
    if (query.condition) {
        const int column = findColumn(layout.value(), query.condition->column);
        if (column < 0)
            return Status::NoSuchColumn;
        auto compiled = LikePattern::compile(query.condition->pattern);
        if (!compiled.ok())
            return compiled.status();
        filter.pattern = std::move(compiled.value());
        if (column > 0) {
            filter.wanted.push_back(static_cast<unsigned>(column));
            filter.searched = 1;
        }
    }
    auto pages = m_file->tablePages(layout.value());
    if (!pages.ok())
        return pages.status();
    return std::make_unique<TableStream>(m_system, std::move(*before), m_file, std::move(pages.value()),
                                         std::move(filter));
}

} // namespace jet_engine
