#pragma once
// This system's files and code pages, seen through a boundary the test
// holds: every byte read from the files it opened is counted, reads made on
// other threads than the test's own wait at a gate while the test keeps it
// closed, a change the test hands over is made at the read it names, and the
// file clock says what the test set it to. It can also show files as Windows
// shows one another program holds open to write (their times stay), and as
// lying on a share.

#include "jet_engine/platform/operating_system.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace jet_engine::testing_support {

class GatedSystem final : public OperatingSystem {
public:
    explicit GatedSystem(std::int64_t clockNs) : m_clockNs(clockNs) {}

    // Reads from other threads wait from now on, until open().
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }

    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = false;
        }
        m_changed.notify_all();
    }

    // Returns once a read waits at the closed gate.
    void waitForAHeldRead()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held > 0; });
    }

    std::uint64_t bytesRead() const { return m_bytesRead.load(); }

    // From now on a file's times stay those it had when first looked at.
    void freezeTimes()
    {
        std::lock_guard lock(m_mutex);
        m_freezeTimes = true;
    }

    // From now on the files lie on a share: onNetwork says so.
    void putOnAShare() { m_onNetwork = true; }
    int openedPastCache() const { return m_pastCache.load(); }

    // Runs `change` once, on the reading thread, just before the first read
    // that starts once `bytes` more have been read: the file changes at a
    // set point of a read, whatever the timing.
    void changeAfter(std::uint64_t bytes, std::function<void()> change)
    {
        std::lock_guard lock(m_mutex);
        m_changeAt = m_bytesRead.load() + bytes;
        m_change = std::move(change);
    }

    Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) override
    {
        auto file = operatingSystem().openForReading(path);
        if (!file.ok())
            return file.status();
        return std::unique_ptr<ReadableFile>(std::make_unique<File>(*this, std::move(file.value())));
    }

    Outcome<std::unique_ptr<ReadableFile>> openPastCache(const std::string &path) override
    {
        ++m_pastCache;
        return openForReading(path);
    }

    bool onNetwork(const std::string &) override { return m_onNetwork; }

    std::optional<FileIdentity> identify(const std::string &path) override
    {
        auto identity = operatingSystem().identify(path);
        std::lock_guard lock(m_mutex);
        if (identity && m_freezeTimes) {
            if (!m_times)
                m_times = {identity->modifiedNs, identity->changedNs};
            identity->modifiedNs = m_times->first;
            identity->changedNs = m_times->second;
        }
        return identity;
    }

    std::int64_t fileClockNs() override { return m_clockNs; }

    std::unique_ptr<CodePageConverter> codePage(unsigned codePage) override
    {
        return operatingSystem().codePage(codePage);
    }

    std::string windowsPath(std::string_view path) override { return operatingSystem().windowsPath(path); }

private:
    class File final : public ReadableFile {
    public:
        File(GatedSystem &system, std::unique_ptr<ReadableFile> file) : m_system(system), m_file(std::move(file)) {}

        std::optional<std::size_t> read(std::uint64_t offset, void *into, std::size_t size) const override
        {
            m_system.pass();
            m_system.changeIfDue();
            const auto got = m_file->read(offset, into, size);
            if (got)
                m_system.m_bytesRead += *got;
            return got;
        }

        std::unique_ptr<ReadableFile> duplicate() const override
        {
            auto copy = m_file->duplicate();
            return copy ? std::make_unique<File>(m_system, std::move(copy)) : nullptr;
        }

        std::optional<FileIdentity> identity() const override { return m_file->identity(); }

    private:
        GatedSystem &m_system;
        std::unique_ptr<ReadableFile> m_file;
    };

    void pass()
    {
        if (std::this_thread::get_id() == m_testThread)
            return;
        std::unique_lock lock(m_mutex);
        if (!m_closed)
            return;
        ++m_held;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_closed; });
        --m_held;
    }

    void changeIfDue()
    {
        std::function<void()> change;
        {
            std::lock_guard lock(m_mutex);
            if (!m_change || m_bytesRead.load() < m_changeAt)
                return;
            change = std::move(m_change);
            m_change = nullptr;
        }
        change();
    }

    const std::int64_t m_clockNs;
    const std::thread::id m_testThread = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closed = false;
    int m_held = 0;
    std::atomic<std::uint64_t> m_bytesRead{0};
    std::function<void()> m_change;
    std::uint64_t m_changeAt = 0;
    bool m_freezeTimes = false;
    std::optional<std::pair<std::int64_t, std::int64_t>> m_times;
    std::atomic<bool> m_onNetwork{false};
    std::atomic<int> m_pastCache{0};
};

} // namespace jet_engine::testing_support
