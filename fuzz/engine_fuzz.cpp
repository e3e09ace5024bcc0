// Feeds arbitrary bytes to the engine as the database file and runs the
// search's path over it: open, the start-up table, one search, every row
// and every column.

#include "jet_engine/engine.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

using namespace jet_engine;

namespace {

// Every byte of every value is read, so the sanitizers see each one.
volatile std::size_t checksum;

// One in-memory file for the whole run: no disk traffic per input, and the
// engine reaches it by path as it would a real file.
int memoryFile()
{
    static const int fd = memfd_create("fuzz.mdb", 0);
    return fd;
}

void walk(Database &database, std::u16string_view query)
{
    auto opened = database.openRecordset(query);
    if (!opened.ok())
        return;
    Recordset &rows = *opened.value();
    rows.moveFirst();
    const auto keepAlive = rows.storage();
    std::size_t total = 0;
    for (auto atEnd = rows.eof(); atEnd.ok() && !atEnd.value(); atEnd = rows.eof()) {
        // Columns past the first are read on demand, through their own path.
        for (int column = 0;; ++column) {
            const auto value = rows.field(column);
            if (value.status() == Status::NoSuchColumn)
                break;
            if (value.ok())
                for (const char c : value.value().text)
                    total += static_cast<unsigned char>(c);
        }
        if (rows.moveNext() != Status::Ok)
            break;
    }
    checksum = total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = memoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return 0;
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            return 0;
        done += static_cast<std::size_t>(n);
    }
    Engine engine;
    auto database = engine.openDatabase("/proc/self/fd/" + std::to_string(fd), false, true);
    if (!database.ok())
        return 0;
    walk(*database.value(), u"ARTICLE");
    walk(*database.value(), u"SELECT * FROM ARTICLE Where ARTICLE like '*E*'");
    return 0;
}
