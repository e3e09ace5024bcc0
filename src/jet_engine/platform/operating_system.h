#pragma once
// The engine's one way to the operating system: files opened for reading,
// through this machine's cache or past it, what a path names and whether
// another machine serves it, the clock file times are taken from, text in
// Windows code pages, where a Windows path lies. The engine is handed one
// OperatingSystem and asks it alone; tests hand it one of their own.
// Implemented once for POSIX systems and once for Windows.

#include "jet_engine/platform/file_identity.h"
#include "jet_engine/status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace jet_engine {

// A file open for reading only; closed when destroyed.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;

    // Reads `size` bytes at `offset` into `into`, or fewer when the file ends
    // first (none at or past its end). Nothing when the system reports an
    // error. Safe to call from several threads at once: each read names its
    // own offset.
    virtual std::optional<std::size_t> read(std::uint64_t offset, void *into, std::size_t size) const = 0;

    // Another handle on the same open file, that stays usable after this one
    // is closed. Null when the system refuses one.
    virtual std::unique_ptr<ReadableFile> duplicate() const = 0;

    // What the open file is now, wherever its path points by now.
    virtual std::optional<FileIdentity> identity() const = 0;

    // True when all `size` bytes at `offset` were read.
    bool readExactly(std::uint64_t offset, void *into, std::size_t size) const
    {
        const auto got = read(offset, into, size);
        return got && *got == size;
    }
};

// Text in one Windows code page, turned into UTF-8. One converter serves one
// thread at a time.
class CodePageConverter {
public:
    virtual ~CodePageConverter() = default;

    // Appends the UTF-8 form of `n` bytes. A byte or byte pair the code page
    // does not define shows as U+FFFD, and the bytes after it are read on.
    virtual void append(const unsigned char *p, std::size_t n, std::string &out) const = 0;

    // A converter for the same code page, for another thread.
    virtual std::unique_ptr<CodePageConverter> another() const = 0;
};

class OperatingSystem {
public:
    virtual ~OperatingSystem() = default;

    // Opens `path` (UTF-8) for reading, sharing it with writers: the
    // application that owns the database keeps writing to it. Never blocks on
    // a pipe or device. FileNotFound when nothing is there; NotADatabase when
    // something is but cannot be opened.
    virtual Outcome<std::unique_ptr<ReadableFile>> openForReading(const std::string &path) = 0;

    // Opens `path` for reading as openForReading does, its reads going past
    // this machine's cache of the file where the system allows, so that a
    // change made on another machine shows.
    virtual Outcome<std::unique_ptr<ReadableFile>> openPastCache(const std::string &path)
    {
        return openForReading(path);
    }

    // Whether `path` lies on a file system another machine serves: a network
    // drive or share. False when that cannot be told.
    virtual bool onNetwork([[maybe_unused]] const std::string &path) { return false; }

    // What `path` names now, following links; nothing when it names nothing.
    virtual std::optional<FileIdentity> identify(const std::string &path) = 0;

    // The coarse clock file times are taken from, in their unit.
    virtual std::int64_t fileClockNs() = 0;

    // A converter for Windows code page `codePage`; null when the system has
    // none for it.
    virtual std::unique_ptr<CodePageConverter> codePage(unsigned codePage) = 0;

    // Where a path as Windows programs write it ("C:\DIR\FILE.EXT") lies on
    // this system. On Windows, that path itself. Elsewhere, on that drive of
    // the Wine prefix ($WINEPREFIX, or ~/.wine), each part matched regardless
    // of letter case as Wine matches it: an exact match first, else the
    // first of the others in byte order, else the part as written. Answers
    // even when nothing exists there.
    virtual std::string windowsPath(std::string_view path) = 0;
};

// This system's.
OperatingSystem &operatingSystem();

} // namespace jet_engine
