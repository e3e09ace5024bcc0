#include "jet_engine/stream/table_stream.h"

#include <algorithm>
#include <new>

namespace jet_engine {

namespace {

// Runs matched ahead of the one given out, per helper: enough that a helper
// rarely waits on the caller, few enough that memory stays flat.
constexpr std::size_t runsAheadPerHelper = 2;
constexpr unsigned mostHelpers = 4;

} // namespace

TableStream::TableStream(OperatingSystem &system, FileState before, std::shared_ptr<JetFile> file, TablePages pages,
                         RowFilter filter, std::shared_ptr<WorkerPool> pool)
    : m_system(system)
    , m_before(std::move(before))
    , m_file(std::move(file))
    , m_pages(std::move(pages))
    , m_filter(std::move(filter))
    , m_helpers(std::move(pool))
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
    m_helpers.cancelAndWait();
}

std::size_t TableStream::runCount() const { return m_runStarts.size() - 1; }

void TableStream::startHelpers()
{
    m_runs.resize(1);
    // A small table, or no processor to spare: the caller matches every
    // run itself, as it gives them out.
    const unsigned processors = WorkerPool::processors();
    if (!m_helpers.pool() || runCount() < 2 || processors < 2)
        return;
    const std::size_t helpers =
        std::min<std::size_t>({processors, m_helpers.pool()->workers(), mostHelpers, runCount() - 1});
    m_kits.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) {
        HelperKit kit;
        if (m_pages.format.jet3 && !(kit.jet3 = m_file->anotherCodePageText()))
            break;
        m_kits.push_back(std::move(kit));
    }
    if (m_kits.empty())
        return;
    m_runs.resize(m_kits.size() * runsAheadPerHelper);
    std::lock_guard lock(m_mutex);
    for (HelperKit &kit : m_kits)
        m_freeKits.push_back(&kit);
    postHelpersLocked();
}

void TableStream::postHelpersLocked()
{
    std::size_t waiting = std::min(runCount(), m_current + m_runs.size()) - std::min(m_claimed, runCount());
    for (; waiting > 0 && !m_freeKits.empty() && !m_stopping; --waiting) {
        HelperKit *kit = m_freeKits.back();
        m_freeKits.pop_back();
        m_helpers.post([this, kit](const WorkToken &work) { help(work, *kit); });
    }
}

void TableStream::match(std::size_t n, std::optional<PageSource> &pages, const CodePageText *jet3, Run &run)
{
    try {
        if (!pages)
            pages.emplace(*m_pages.file, m_pages.format.pageSize, m_pages.fileSize);
        matchRun(m_pages, *pages, m_runStarts[n], m_runStarts[n + 1], jet3, m_filter, run.rows);
    } catch (const std::bad_alloc &) {
        run.rows.selected.clear();
        run.rows.status = Status::OutOfMemory;
    }
}

void TableStream::help(const WorkToken &work, HelperKit &kit)
{
    const std::size_t runs = runCount();
    for (;;) {
        std::size_t n = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping || work.cancelled() || m_claimed >= runs || m_claimed >= m_current + m_runs.size()) {
                m_freeKits.push_back(&kit);
                return;
            }
            n = m_claimed++;
        }
        Run &run = m_runs[n % m_runs.size()];
        match(n, kit.pages, kit.jet3.get(), run);
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
    Run &run = m_runs[n % m_runs.size()];
    {
        std::unique_lock lock(m_mutex);
        if (m_claimed > n) {
            m_changed.wait(lock, [&] { return run.ready; });
            return &run;
        }
        // No helper has taken it: waiting would wait for a worker busy with
        // other work.
        m_claimed = n + 1;
    }
    match(n, m_ownPages, m_file->codePageText(), run);
    return &run;
}


void TableStream::releaseRun()
{
    {
        std::lock_guard lock(m_mutex);
        m_run->ready = false;
        ++m_current;
        postHelpersLocked();
    }
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

Outcome<std::unique_ptr<StreamedFile>> StreamedFile::open(OperatingSystem &system, const std::string &path,
                                                          std::shared_ptr<WorkerPool> pool)
{
    std::unique_ptr<StreamedFile> streamed(new StreamedFile(system, path, std::move(pool)));
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
                                         std::move(filter), m_pool);
}

} // namespace jet_engine
