// Drives the real Win32 window (under Wine in the benchmark) the way a user
// types, and times each keystroke from the key posted to the list view
// repainted with its new rows. The database is the program's own, at
// C:\VANTORELISK\TABLEARTICLE.MDB. Lines that mark a moment carry no time:
// the launcher stamps them as it reads them, on a clock of its own (Wine's
// performance counter starts elsewhere), so the process prints and flushes
// each at once.
//
//   fiche-bench-win32 --startup          prints "shown" once the window is painted
//   fiche-bench-win32 --close            closes the window as soon as it is painted
//                                        and prints "closing" just before
//   fiche-bench-win32 --first QUERY      types QUERY as soon as the window is painted
//                                        and prints "first ROWS" once the list view
//                                        is painted with its rows
//   fiche-bench-win32 --cold QUERY       prints "cold MS ROWS" for the first search
//                                        of the run
//   fiche-bench-win32 --indexing A,B,... types A as soon as the window is painted,
//                                        then times one keystroke of each query at
//                                        once, while the engine still builds its
//                                        search index: "indexing QUERY MS ROWS"
//   fiche-bench-win32 --reps N --queries A,B,... [--settle SECONDS]
//                                        lets the engine settle (read and index
//                                        the table) for SECONDS, then prints
//                                        "warm QUERY MEDIAN_MS ROWS handler MS
//                                        paint MS" per query (the medians of the
//                                        key's delivery, search and listing, and
//                                        of the repaint after it), then "rss MiB"
//                                        (peak working set)
//   fiche-bench-win32 --grid QUERY --reps N [--settle SECONDS]
//                                        the list view's own work with QUERY's
//                                        rows listed, medians of N: from that
//                                        listing, one LVM_SETITEMCOUNT to 0, to
//                                        1000 and to the same count
//                                        ("setitemcount COUNT MS"); in the list,
//                                        two letters that start no row
//                                        ("typeahead MS"), Ctrl+A ("ctrl+a MS
//                                        SELECTED"), Ctrl+A then Ctrl+C
//                                        ("ctrl+a,ctrl+c MS LINES", the lines
//                                        on the clipboard), each until delivered
//                                        and the list view repainted
//
//   fiche-bench-win32 --live N [--settle SECONDS]
//                                        lets the engine settle, then makes N
//                                        edits as a colleague would, with the
//                                        file's times kept, and types each
//                                        one's marker every 20 ms until
//                                        listed: "live KIND DETECT_MS
//                                        REFRESH_MS ROWS" per edit, then
//                                        "live-rss STEADY_MiB PEAK_MiB" (the
//                                        working set before the edits, and the
//                                        largest seen after a keystroke while
//                                        they were found)
//
// ROWS is the list view's own count (LVM_GETITEMCOUNT).

#include "article_database/module1.h"
#include "jet_engine/platform/operating_system.h"
#include "live_edits.h"
#include "search_window/win32/form1.h"
#include "search_window/win32/message_loop.h"
#include "search_window/win32/windows_api.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using search_window::Form1;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        if (comma != from)
            items.push_back(text.substr(from, comma - from));
        if (comma == std::string::npos)
            return items;
        from = comma + 1;
    }
}

void printNow(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Everything the program's loop would deliver, paints included, until nothing
// is left.
void deliverAll(HWND form)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return;
        search_window::deliverMessage(form, message);
    }
}

// What the program's loop would deliver before it gets to the paints: input,
// posted and sent messages. A search runs to its end inside the delivery of
// the keystroke that asked for it.
void deliverAllButPaints(HWND form)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
        if (message.message == WM_QUIT)
            return;
        search_window::deliverMessage(form, message);
    }
}

// The window's paint, done now rather than when the queue runs dry; GdiFlush
// hands the batched drawing to the driver.
void paintNow(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
}

void postText(HWND control, std::string_view text)
{
    for (const char unit : text)
        PostMessageW(control, WM_CHAR, static_cast<unsigned char>(unit), 1);
}

// A key pressed and released with the thread's keyboard state as the
// handlers read it: Ctrl held down.
void postCtrlKey(HWND control, UINT virtualKey)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | scan);
    PostMessageW(control, WM_KEYUP, virtualKey, 1 | scan | (LPARAM(1) << 30) | (LPARAM(1) << 31));
}

void holdCtrl(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

PROCESS_MEMORY_COUNTERS memoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return {};
    return counters;
}

double peakResidentMiB() { return static_cast<double>(memoryCounters().PeakWorkingSetSize) / (1024.0 * 1024.0); }
double residentMiB() { return static_cast<double>(memoryCounters().WorkingSetSize) / (1024.0 * 1024.0); }

std::size_t clipboardLines()
{
    std::size_t lines = 0;
    if (!OpenClipboard(nullptr))
        return 0;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto *units = static_cast<const wchar_t *>(GlobalLock(data))) {
            const std::wstring_view text(units);
            if (!text.empty())
                lines = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), L'\n'));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return lines;
}

void emptyClipboard()
{
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

struct Keystroke {
    double handlerMs;
    double paintMs;
    int rows;
    double ms() const { return handlerMs + paintMs; }
};

class Window {
public:
    Window() : m_form(Form1::create(m_module))
    {
        if (!m_form) {
            std::fprintf(stderr, "Windows made no window\n");
            std::exit(1);
        }
        m_form->show(SW_SHOWNORMAL);
        deliverAll(form());
        paintNow(form());
    }

    HWND form() const { return m_form->window(); }
    HWND box() const { return GetDlgItem(form(), Form1::RechGeneralId); }
    HWND list() const { return GetDlgItem(form(), Form1::GId); }
    int rows() const { return static_cast<int>(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0)); }

    // Posts keys, then times their delivery and the list view's repaint.
    template <typename Post> double timeKeys(Post post)
    {
        const auto start = Clock::now();
        post();
        deliverAllButPaints(form());
        paintNow(list());
        const auto end = Clock::now();
        deliverAll(form());
        return msBetween(start, end);
    }

    void type(std::string_view text)
    {
        timeKeys([&] { postText(box(), text); });
    }

    // Types all but the last character into an empty box, then times the last.
    Keystroke timeLastKeystroke(std::string_view query)
    {
        SetWindowTextW(box(), L"");
        deliverAll(form());
        type(query.substr(0, query.size() - 1));
        return timeChange([&] { postText(box(), query.substr(query.size() - 1)); });
    }

    // Puts the whole of `text` in the box at once, as a paste does: one
    // search, timed with the repaint.
    Keystroke timePaste(const std::string &text)
    {
        SetWindowTextW(box(), L"");
        deliverAll(form());
        const std::wstring wide(text.begin(), text.end());
        return timeChange([&] { SetWindowTextW(box(), wide.c_str()); });
    }

    // Times `change` to the box, its delivery (the search and the listing),
    // then the list view's repaint.
    template <typename Change> Keystroke timeChange(Change change)
    {
        const auto start = Clock::now();
        change();
        deliverAllButPaints(form());
        const auto handled = Clock::now();
        paintNow(list());
        const auto painted = Clock::now();
        deliverAll(form());
        return {msBetween(start, handled), msBetween(handled, painted), rows()};
    }

    void settle(double seconds)
    {
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            deliverAll(form());
            Sleep(50);
        }
    }

    // Ends as the user's click on the close box would, through the program's
    // own loop.
    int close()
    {
        PostMessageW(form(), WM_CLOSE, 0, 0);
        return search_window::runMessageLoop(form());
    }

private:
    article_database::Module1 m_module;
    std::unique_ptr<Form1> m_form;
};

void warm(Window &window, const std::vector<std::string> &queries, int reps)
{
    for (const std::string &query : queries) {
        window.timeLastKeystroke(query); // warms the engine's copy of the file
        std::vector<double> total, handler, paint;
        int rows = 0;
        for (int i = 0; i < reps; ++i) {
            const Keystroke key = window.timeLastKeystroke(query);
            total.push_back(key.ms());
            handler.push_back(key.handlerMs);
            paint.push_back(key.paintMs);
            rows = key.rows;
        }
        std::printf("warm %s %.3f %d handler %.3f paint %.3f\n", query.c_str(), median(total), rows, median(handler),
                    median(paint));
        std::fflush(stdout);
    }
    std::printf("rss %.1f\n", peakResidentMiB());
}

void gridWork(Window &window, const std::string &query, int reps)
{
    window.timeLastKeystroke(query);
    HWND list = window.list();
    const int listed = window.rows();
    for (const int count : {0, 1000, listed}) {
        std::vector<double> samples;
        for (int i = 0; i < reps; ++i) {
            const auto start = Clock::now();
            SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
            samples.push_back(msBetween(start, Clock::now()));
            SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(listed), 0);
            deliverAll(window.form());
        }
        std::printf("setitemcount %d %.3f\n", count, median(samples));
        std::fflush(stdout);
    }

    SetFocus(list);
    deliverAll(window.form());
    std::vector<double> typeahead;
    for (int i = 0; i < reps; ++i) {
        // The list view adds a letter typed soon after another to the text it
        // looks for; after a pause it starts afresh.
        Sleep(1000);
        typeahead.push_back(window.timeKeys([list] { postText(list, "QQ"); }));
    }
    std::printf("typeahead %.3f\n", median(typeahead));
    std::fflush(stdout);

    // Each time from nothing selected and an empty clipboard.
    const auto timeCtrlKeys = [&](std::initializer_list<UINT> keys) {
        LVITEMW unselected{};
        unselected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        std::vector<double> samples;
        for (int i = 0; i < reps; ++i) {
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&unselected));
            emptyClipboard();
            deliverAll(window.form());
            holdCtrl(true);
            samples.push_back(window.timeKeys([&] {
                for (const UINT key : keys)
                    postCtrlKey(list, key);
            }));
            holdCtrl(false);
        }
        return median(samples);
    };
    const double selectAll = timeCtrlKeys({'A'});
    std::printf("ctrl+a %.3f %d\n", selectAll, static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)));
    std::fflush(stdout);
    const double copyAll = timeCtrlKeys({'A', 'C'});
    std::printf("ctrl+a,ctrl+c %.3f %zu\n", copyAll, clipboardLines());
    std::fflush(stdout);
}

int live(Window &window, int edits)
{
    live_edits::Colleague colleague;
    if (const std::string error = colleague.open(article_database::databasePath(jet_engine::operatingSystem()));
        !error.empty()) {
        std::fprintf(stderr, "fiche-bench-win32: %s\n", error.c_str());
        return 1;
    }
    const double steady = residentMiB();
    double peak = steady;
    const bool made = live_edits::findEach(
        colleague, edits,
        [&](const std::string &marker) {
            const Keystroke key = window.timePaste(marker);
            peak = std::max(peak, residentMiB());
            return std::pair(key.ms(), key.rows);
        },
        [&] {
            deliverAll(window.form());
            Sleep(20);
        });
    if (!made)
        return 1;
    std::printf("live-rss %.1f %.1f\n", steady, peak);
    return 0;
}

std::string valueAfter(const std::vector<std::string> &args, std::string_view option, std::string fallback = {})
{
    const auto at = std::find(args.begin(), args.end(), option);
    return at != args.end() && at + 1 != args.end() ? *(at + 1) : fallback;
}

bool has(const std::vector<std::string> &args, std::string_view option)
{
    return std::find(args.begin(), args.end(), option) != args.end();
}

} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);

    if (has(args, "--startup")) {
        Window window;
        printNow("shown");
        return 0;
    }
    if (has(args, "--close")) {
        Window window;
        printNow("closing");
        return window.close();
    }
    if (const std::string query = valueAfter(args, "--first"); !query.empty()) {
        Window window;
        window.type(query);
        printNow("first " + std::to_string(window.rows()));
        return 0;
    }
    if (const std::string query = valueAfter(args, "--cold"); !query.empty()) {
        Window window;
        const Keystroke key = window.timeLastKeystroke(query);
        std::printf("cold %.3f %d\n", key.ms(), key.rows);
        return 0;
    }
    if (const std::string list = valueAfter(args, "--indexing"); !list.empty()) {
        Window window;
        const std::vector<std::string> queries = splitList(list);
        window.type(queries.front());
        for (const std::string &query : queries) {
            const Keystroke key = window.timeLastKeystroke(query);
            std::printf("indexing %s %.3f %d\n", query.c_str(), key.ms(), key.rows);
        }
        std::fflush(stdout);
        return 0;
    }

    const int reps = std::max(1, std::atoi(valueAfter(args, "--reps", "21").c_str()));
    const double settle = std::atof(valueAfter(args, "--settle", "0").c_str());
    Window window;
    window.settle(settle);
    if (const std::string edits = valueAfter(args, "--live"); !edits.empty())
        return live(window, std::atoi(edits.c_str()));
    if (const std::string query = valueAfter(args, "--grid"); !query.empty())
        gridWork(window, query, reps);
    else
        warm(window, splitList(valueAfter(args, "--queries", "RO")), reps);
    return 0;
}
