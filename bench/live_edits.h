#pragma once
// A colleague editing the benchmark's database while the window is open, as
// Access does on Windows: the file held open, each edit written in place,
// the file's times put back as they were. And the keystrokes that find each
// edit: typed every few milliseconds from the edit on, until the window
// lists it.

#include "mdb_editor.h"

#include <chrono>
#include <optional>
#include <string>

namespace live_edits {

using Clock = std::chrono::steady_clock;

struct Edit {
    // "inplace" (a designation rewritten where it lies) or "added" (a row
    // on a page of its own).
    const char *kind;
    // Found in the edited row alone.
    std::string marker;
    Clock::time_point made;
};

class Colleague {
public:
    // Empty, or what went wrong.
    std::string open(const std::string &path);
    // Edit number `i`: even ones in place, odd ones added; empty, with the
    // reason on standard error, when the editor refuses.
    std::optional<Edit> make(int i);

private:
    mdb_writer::Editor m_editor;
};

struct Seen {
    // From the edit to the keystroke that first listed it.
    double detectMs = 0;
    // That search, from the text put in the box to the grid painted.
    double refreshMs = 0;
    int rows = 0;
};

// Prints "live KIND DETECT_MS REFRESH_MS ROWS", or "live KIND never".
void print(const Edit &edit, const std::optional<Seen> &seen);

// `keystroke(text)` puts `text` in the box at once (one search) and returns
// {ms, rows listed}; `pause()`
// waits a little, letting the window run. Empty after `patience`.
template <typename Keystroke, typename Pause>
std::optional<Seen> typeUntilSeen(const Edit &edit, Keystroke keystroke, Pause pause,
                                  Clock::duration patience = std::chrono::seconds(15))
{
    for (;;) {
        const auto start = Clock::now();
        const auto [ms, rows] = keystroke(edit.marker);
        if (rows > 0)
            return Seen{std::chrono::duration<double, std::milli>(start - edit.made).count(), ms, rows};
        if (Clock::now() - edit.made > patience)
            return std::nullopt;
        pause();
    }
}

// Makes `edits` edits one after the other, each looked for and printed as
// it is found; false when the editor refuses one.
template <typename Keystroke, typename Pause>
bool findEach(Colleague &colleague, int edits, Keystroke keystroke, Pause pause)
{
    for (int i = 0; i < edits; ++i) {
        const auto edit = colleague.make(i);
        if (!edit)
            return false;
        print(*edit, typeUntilSeen(*edit, keystroke, pause));
    }
    return true;
}

} // namespace live_edits
