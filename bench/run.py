#!/usr/bin/env python3
"""Speed benchmark: the real window on the offscreen platform against common
text-search tools, over the same designations, in one run. With --windows,
the Win32 window under Wine (WINEPREFIX, its server and display set up by
bench/run.sh) beside the Qt window, on the same files, and no tools.

With --largest, the window alone on the largest file Jet allows.

Usage: run.py BUILD_DIR WORK_DIR [--sizes 10000,100000,1000000] [--reps 21]
                                 [--windows FICHE_BENCH_WIN32_EXE | --largest]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

QUERIES = ["RO", "VI", "INOX", "MOLETTE", "ZZQX"]


def median_ms(samples_ns):
    return statistics.median(samples_ns) / 1e6


def time_pipeline(cmd, reps):
    """Median wall time of a shell pipeline whose output is read to the end
    (so grep-like tools cannot stop at the first match)."""
    samples = []
    for _ in range(reps):
        t0 = time.perf_counter_ns()
        proc = subprocess.Popen(cmd, shell=True, stdout=subprocess.PIPE)
        for _chunk in iter(lambda: proc.stdout.read(1 << 20), b""):
            pass
        proc.wait()
        samples.append(time.perf_counter_ns() - t0)
    return median_ms(samples)


def qt_env(prefix):
    return dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")


def measure_startup(bench_exe, prefix, reps):
    env = qt_env(prefix)
    samples = []
    for _ in range(reps):
        t0 = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        out = subprocess.run([bench_exe, "--startup"], env=env, check=True,
                             capture_output=True, text=True).stdout
        shown = next(int(l.split()[1]) for l in out.splitlines() if l.startswith("shown "))
        samples.append(shown - t0)
    return median_ms(samples)


def measure_close(bench_exe, prefix, reps):
    """From the window's close, right after it is first painted, to the
    process's end: the start-up read must not hold the exit back."""
    env = qt_env(prefix)
    samples = []
    for _ in range(reps):
        out = subprocess.run([bench_exe, "--close"], env=env, check=True,
                             capture_output=True, text=True).stdout
        ended = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        closing = next(int(l.split()[1]) for l in out.splitlines() if l.startswith("closing "))
        samples.append(ended - closing)
    return median_ms(samples)


def measure_first(bench_exe, prefix, reps, query):
    """From the program's exec to the grid painted with the rows of a
    two-character query typed as soon as the window shows."""
    env = qt_env(prefix)
    samples = []
    for _ in range(reps):
        t0 = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        out = subprocess.run([bench_exe, "--first", query], env=env, check=True,
                             capture_output=True, text=True).stdout
        painted = next(int(l.split()[1]) for l in out.splitlines() if l.startswith("first "))
        samples.append(painted - t0)
    return median_ms(samples)


def measure_window(cmd, env, reps, settle):
    """Keystrokes once the engine has read and indexed the table."""
    out = subprocess.run(cmd + ["--reps", str(reps), "--queries", ",".join(QUERIES),
                                "--settle", str(settle)],
                         env=env, check=True, capture_output=True, text=True,
                         stdin=subprocess.DEVNULL).stdout
    result = {"warm": {}, "rows": {}, "handler": {}, "paint": {}, "faults": {}}
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "warm":
            result["warm"][parts[1]] = float(parts[2])
            result["rows"][parts[1]] = int(parts[3])
            if "faults" in parts:
                result["faults"][parts[1]] = int(parts[parts.index("faults") + 1])
            # The Win32 window's split: the key delivered (search and
            # listing), then the list view's repaint.
            if len(parts) >= 8:
                result["handler"][parts[1]] = float(parts[5])
                result["paint"][parts[1]] = float(parts[7])
        elif parts[0] == "rss":
            result["rss"] = float(parts[1])
    return result


def measure_indexing(cmd, env, reps):
    """Each query's median keystroke typed right after the first answer,
    while the engine still builds its index; then, where the window counts
    them, the median page faults of each query's keystroke."""
    samples = {query: [] for query in QUERIES}
    faults = {query: [] for query in QUERIES}
    for _ in range(reps):
        out = subprocess.run(cmd + ["--indexing", ",".join(QUERIES)], env=env, check=True,
                             capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
        for line in out.splitlines():
            parts = line.split()
            if parts[0] == "indexing":
                samples[parts[1]].append(float(parts[2]))
                if "faults" in parts:
                    faults[parts[1]].append(int(parts[parts.index("faults") + 1]))
    return ({query: statistics.median(ms) for query, ms in samples.items()},
            {query: statistics.median(n) for query, n in faults.items() if n})


def measure_cold(cmd, env, reps):
    samples = []
    for _ in range(reps):
        out = subprocess.run(cmd + ["--cold", QUERIES[0]], env=env, check=True,
                             capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
        samples.append(float(out.split()[1]))
    return statistics.median(samples)


LIVE_EDITS = 6


def measure_live(cmd, env, settle, mdb, window_mdb):
    """Edits made as a colleague makes them, the file's times kept, on a copy
    of `mdb` placed where the window reads (`window_mdb`), so that the other
    figures keep reading the file as written: the median of `detect` (edit
    to the first keystroke that lists it) over all edits, of `refresh` (that
    keystroke) per kind of edit, and the resident set before the edits and
    at its peak while they were found."""
    if os.path.lexists(window_mdb):
        os.remove(window_mdb)
    shutil.copyfile(mdb, window_mdb)
    try:
        out = subprocess.run(cmd + ["--live", str(LIVE_EDITS), "--settle", str(settle)], env=env, check=True,
                             capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
    finally:
        os.remove(window_mdb)
    detect, refresh, rss = {}, {}, (0.0, 0.0)
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "live":
            # An edit never listed counts as infinitely late.
            never = parts[2] == "never"
            detect.setdefault(parts[1], []).append(float("inf") if never else float(parts[2]))
            refresh.setdefault(parts[1], []).append(float("inf") if never else float(parts[3]))
        elif parts[0] == "live-rss":
            rss = (float(parts[1]), float(parts[2]))
    return {"detect": {kind: statistics.median(ms) for kind, ms in detect.items()},
            "refresh": {kind: statistics.median(ms) for kind, ms in refresh.items()},
            "rss": rss}


def live_summary(live):
    d, r = live["detect"], live["refresh"]
    return (f"detect {d['inplace']:.0f}/{d['added']:.0f} ms, refresh {r['inplace']:.2f}/{r['added']:.2f} ms "
            f"(in place/row added), live rss {live['rss'][0]:.0f} -> {live['rss'][1]:.0f} MiB")


def faults_summary(qt):
    warm, indexing = qt["window"]["faults"], qt["indexing_faults"]
    return (f"faults {max(warm.values()):.0f}/{max(indexing.values()):.0f} a keystroke "
            f"(warm/indexing, worst query)")


def measure_qt(bench_exe, prefix, size, reps):
    """The Qt window's figures on the file in `prefix`, the same in both
    modes of this benchmark."""
    env = qt_env(prefix)
    indexing, indexing_faults = measure_indexing([bench_exe], env, max(3, reps // 4))
    return {
        "window": measure_window([bench_exe], env, reps, settle_seconds(size)),
        "indexing": indexing,
        "indexing_faults": indexing_faults,
        "start": measure_startup(bench_exe, prefix, reps),
        "cold": measure_cold([bench_exe], env, reps),
        "close": measure_close(bench_exe, prefix, reps),
        "first": measure_first(bench_exe, prefix, reps, QUERIES[1]),
        "live": measure_qt_live(bench_exe, prefix, size),
    }


def measure_qt_live(bench_exe, prefix, size):
    live_prefix = prefix + "-live"
    folder = os.path.join(live_prefix, "drive_c", "VANTORELISK")
    os.makedirs(folder, exist_ok=True)
    return measure_live([bench_exe], qt_env(live_prefix), settle_seconds(size),
                        os.path.join(prefix, "drive_c", "VANTORELISK", "TABLEARTICLE.MDB"),
                        os.path.join(folder, "TABLEARTICLE.MDB"))


def monotonic_ns():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC)


def run_stamped(cmd, label):
    """Runs cmd and stamps, on this process's clock, its launch, the moment
    its line starting with `label` is read, and its end."""
    launched = monotonic_ns()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
    stamped = None
    for line in proc.stdout:
        if stamped is None and line.split()[:1] == [label]:
            stamped = monotonic_ns()
    proc.wait()
    ended = monotonic_ns()
    if proc.returncode != 0 or stamped is None:
        raise RuntimeError(f"{' '.join(cmd)}: exit {proc.returncode}, no '{label}' line")
    return launched, stamped, ended


def measure_win32_stamps(cmd, reps):
    """start (launch to the window painted), close (the close asked for, right
    after the first paint, to the process's end) and first (launch to the
    answer to a two-character query, typed as soon as the window shows,
    painted), as medians; the launcher's own clock, from the `wine` command
    spawned, since Wine's performance counter has another origin."""
    start, close, first = [], [], []
    for _ in range(reps):
        launched, shown, _ = run_stamped(cmd + ["--startup"], "shown")
        start.append(shown - launched)
        _, closing, ended = run_stamped(cmd + ["--close"], "closing")
        close.append(ended - closing)
        launched, painted, _ = run_stamped(cmd + ["--first", QUERIES[1]], "first")
        first.append(painted - launched)
    return median_ms(start), median_ms(close), median_ms(first)


def measure_win32_grid(cmd, reps, settle):
    """The list view's own work with the first query's rows listed: lines of
    what was timed, its median in ms, and what it left (rows selected, lines
    copied)."""
    out = subprocess.run(cmd + ["--grid", QUERIES[0], "--reps", str(reps), "--settle", str(settle)],
                         check=True, capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
    work = []
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "setitemcount":
            work.append((f"setitemcount {parts[1]}", float(parts[2])))
        elif parts[0] == "typeahead":
            work.append(('typeahead "QQ"', float(parts[1])))
        elif parts[0] == "ctrl+a":
            work.append((f"ctrl+a ({parts[2]} selected)", float(parts[1])))
        elif parts[0] == "ctrl+a,ctrl+c":
            work.append((f"ctrl+a,ctrl+c ({parts[2]} lines)", float(parts[1])))
    return work


def make_database(make_db, work, size):
    prefix = os.path.join(work, f"prefix-{size}")
    folder = os.path.join(prefix, "drive_c", "VANTORELISK")
    os.makedirs(folder, exist_ok=True)
    mdb = os.path.join(folder, "TABLEARTICLE.MDB")
    txt = os.path.join(work, f"designations-{size}.txt")
    if not (os.path.exists(mdb) and os.path.exists(txt)):
        subprocess.run([make_db, str(size), mdb, txt], check=True)
    return prefix, mdb, txt


def settle_seconds(size):
    # The index takes about a second a million rows on this machine;
    # three leave room for a loaded one.
    return 1 + 3 * size / 1_000_000


def win32_settle_seconds(size):
    # The Windows build under Wine took ten to fourteen seconds to index a
    # million rows on this machine, against one on Linux.
    return 1 + 20 * size / 1_000_000


def run_windows(args, make_db, bench_exe):
    """The Win32 window under Wine and the Qt window, offscreen, on each size's
    file: the Win32 window reads it where the program looks, in the prefix's
    drive C, through a hard link."""
    wine_cmd = ["wine", args.windows]
    wine_folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", "VANTORELISK")
    os.makedirs(wine_folder, exist_ok=True)
    wine_mdb = os.path.join(wine_folder, "TABLEARTICLE.MDB")
    summaries = []
    print(f"{'size':>8} {'query':>8} {'window':>30} {'ms':>10}")
    for size in [int(s) for s in args.sizes.split(",")]:
        prefix, mdb, _ = make_database(make_db, args.work, size)
        if os.path.lexists(wine_mdb):
            os.remove(wine_mdb)
        os.link(mdb, wine_mdb)
        settle = win32_settle_seconds(size)

        win = measure_window(wine_cmd, None, args.reps, settle)
        win_indexing = measure_indexing(wine_cmd, None, max(3, args.reps // 4))[0]
        win_cold = measure_cold(wine_cmd, None, args.reps)
        win_start, win_close, win_first = measure_win32_stamps(wine_cmd, args.reps)
        grid = measure_win32_grid(wine_cmd, args.reps, settle)
        win_live = measure_live(wine_cmd, None, settle, mdb, wine_mdb)
        os.link(mdb, wine_mdb)

        qt = measure_qt(bench_exe, prefix, size, args.reps)

        for query in QUERIES:
            rows = [
                ("Win32 (window)", f"{win['warm'][query]:.3f}"),
                ("Win32 (handler)", f"{win['handler'][query]:.3f}"),
                ("Win32 (paint)", f"{win['paint'][query]:.3f}"),
                ("Win32 (rows listed)", str(win["rows"][query])),
                ("Win32 (indexing)", f"{win_indexing[query]:.3f}"),
                ("Qt (window)", f"{qt['window']['warm'][query]:.3f}"),
                ("Qt (rows listed)", str(qt["window"]["rows"][query])),
                ("Qt (indexing)", f"{qt['indexing'][query]:.3f}"),
            ]
            for name, value in rows:
                print(f"{size:>8} {query:>8} {name:>30} {value:>10}")
        for name, ms in grid:
            print(f"{size:>8} {QUERIES[0]:>8} {'Win32 ' + name:>30} {ms:>10.3f}")
        print(flush=True)

        grows = win["warm"][QUERIES[0]] - win["warm"][QUERIES[-1]]
        summaries.append(
            f"size {size} (Win32 window, Wine): warm {max(win['warm'].values()):.2f} ms, "
            f"indexing {max(win_indexing.values()):.2f} ms (worst query), cold {win_cold:.0f} ms, "
            f"start {win_start:.0f} ms, close {win_close:.0f} ms, rss {win['rss']:.0f} MiB, "
            f"first {win_first:.0f} ms, grows {grows:.2f} ms, {live_summary(win_live)}")
        summaries.append(
            f"size {size} (Qt window, offscreen): warm {max(qt['window']['warm'].values()):.2f} ms, "
            f"indexing {max(qt['indexing'].values()):.2f} ms (worst query), cold {qt['cold']:.0f} ms, "
            f"start {qt['start']:.0f} ms, close {qt['close']:.0f} ms, rss {qt['window']['rss']:.0f} MiB, "
            f"first {qt['first']:.0f} ms, {faults_summary(qt)}, {live_summary(qt['live'])}")
    print()
    for line in summaries:
        print(line)


# About as many rows as a Jet 4 file holds: their pages come near the 2 GiB
# its page numbers can address (2^19 pages of 4 KiB).
LARGEST_ROWS = 35_000_000
JET4_LIMIT = 2 ** 31


def time_with_rss(cmd, reps):
    """Median wall time of a command whose output is read to the end, and
    the largest peak resident memory (MiB) of its runs."""
    samples, rss = [], 0.0
    for _ in range(reps):
        t0 = time.perf_counter_ns()
        proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        for _chunk in iter(lambda: proc.stdout.read(1 << 20), b""):
            pass
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        samples.append(time.perf_counter_ns() - t0)
        rss = max(rss, usage.ru_maxrss / 1024)
    return median_ms(samples), rss


def run_largest(args, make_db, bench_exe, query_exe):
    """The first answer; every keystroke typed from then on, rounds of the
    queries two seconds apart while the index is built; the keystrokes once
    it is; the window's peak memory; article-query's streamed answer."""
    prefix, mdb, _ = make_database(make_db, args.work, LARGEST_ROWS)
    file_size = os.path.getsize(mdb)
    env = qt_env(prefix)
    first = measure_first(bench_exe, prefix, args.reps, QUERIES[1])
    out = subprocess.run([bench_exe, "--indexing", ",".join(QUERIES), "--rounds", "25", "--pause", "2"],
                         env=env, check=True, capture_output=True, text=True, stdin=subprocess.DEVNULL).stdout
    typed = [line.split() for line in out.splitlines() if line.startswith("indexing ")]
    for round_start in range(0, len(typed), len(QUERIES)):
        keys = typed[round_start:round_start + len(QUERIES)]
        print("round " + ", ".join(f"{k[1]} {float(k[2]):.0f} ms" for k in keys), flush=True)
    during = [float(k[2]) for k in typed]
    window = measure_window([bench_exe], env, args.reps, settle_seconds(LARGEST_ROWS))
    for query in QUERIES:
        print(f"warm {query} {window['warm'][query]:.1f} ms, {window['rows'][query]} rows", flush=True)
    sql = "SELECT * FROM ARTICLE Where ARTICLE like '*MOLETTE*'"
    cli, cli_rss = time_with_rss([query_exe, mdb, sql], args.reps)
    print()
    print(f"largest {LARGEST_ROWS} rows: file {file_size} bytes ({100 * file_size / JET4_LIMIT:.1f}% of Jet 4's "
          f"2 GiB), first {first:.0f} ms, indexing {max(during):.0f} ms (worst of {len(during)} keystrokes, "
          f"median {statistics.median(during):.0f}), warm {max(window['warm'].values()):.1f} ms (worst query), "
          f"rss {window['rss']:.0f} MiB, cli {cli:.0f} ms with {cli_rss:.0f} MiB")


def q(s):
    return "'" + s.replace("'", "'\\''") + "'"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--reps", type=int, default=21)
    ap.add_argument("--windows", metavar="FICHE_BENCH_WIN32_EXE")
    ap.add_argument("--largest", action="store_true")
    args = ap.parse_args()

    make_db = os.path.join(args.build, "bench", "bench-make-db")
    bench_exe = os.path.join(args.build, "bench", "fiche-bench")
    if args.windows:
        return run_windows(args, make_db, bench_exe)
    query_exe = os.path.join(args.build, "tools", "article_query", "article-query")
    if args.largest:
        return run_largest(args, make_db, bench_exe, query_exe)
    sizes = [int(s) for s in args.sizes.split(",")]
    summaries = []
    print(f"{'size':>8} {'query':>8} {'tool':>22} {'ms':>10}")
    for size in sizes:
        prefix, mdb, txt = make_database(make_db, args.work, size)
        qt = measure_qt(bench_exe, prefix, size, args.reps)
        window, indexing = qt["window"], qt["indexing"]
        ext_reps = max(5, args.reps)
        # mdb-export and fzf take seconds a run from a million rows on, and
        # half a minute at ten million.
        slow_reps = ext_reps if size < 1_000_000 else max(3, ext_reps // 4) if size < 10_000_000 else 1
        # The whole command-line process against exactly this pipeline, in
        # the same run; the worse query of the two counts.
        cli, cli_ratio = 0.0, float("inf")
        for query in ("VI", "MOLETTE"):
            sql = f"SELECT * FROM ARTICLE Where ARTICLE like '*{query}*'"
            ours = time_pipeline(f"{q(query_exe)} {q(mdb)} {q(sql)}", ext_reps)
            theirs = time_pipeline(
                f"mdb-export -H -Q {q(mdb)} ARTICLE | cut -d, -f1 | grep -F -i {q(query)}",
                slow_reps)
            print(f"{size:>8} {query:>8} {'article-query':>22} {ours:>10.3f}")
            print(f"{size:>8} {query:>8} {'mdb-export|cut|grep':>22} {theirs:>10.3f}", flush=True)
            cli = max(cli, ours)
            cli_ratio = min(cli_ratio, theirs / ours if ours > 0 else float("inf"))
        rg_ratios, fzf_ratios = [], []
        for query in QUERIES:
            ours = window["warm"][query]
            tools = {
                "fiche (window)": ours,
                "rg -F -i": time_pipeline(f"rg -F -i -- {q(query)} {q(txt)} | cat", ext_reps),
                "grep -F -i": time_pipeline(f"grep -F -i -- {q(query)} {q(txt)} | cat", ext_reps),
                "fzf --filter --exact": time_pipeline(
                    f"fzf --filter={q(query)} --exact < {q(txt)} | cat",
                    slow_reps),
                "mdb-export | grep": time_pipeline(
                    f"mdb-export {q(mdb)} ARTICLE | grep -F -i -- {q(query)} | cat",
                    slow_reps),
            }
            for tool, ms in tools.items():
                print(f"{size:>8} {query:>8} {tool:>22} {ms:>10.3f}", flush=True)
            rg_ratios.append(tools["rg -F -i"] / ours if ours > 0 else float("inf"))
            fzf_ratios.append(tools["fzf --filter --exact"] / ours if ours > 0 else float("inf"))
            print(f"{size:>8} {query:>8} {'(rows listed)':>22} {window['rows'][query]:>10}")
            print(f"{size:>8} {query:>8} {'fiche (indexing)':>22} {indexing[query]:>10.3f}")
        warm = list(window["warm"].values())
        summaries.append(
            f"size {size}: warm {max(warm):.2f} ms, indexing {max(indexing.values()):.2f} ms "
            f"(worst query), rg ratio {min(rg_ratios):.1f}, "
            f"fzf ratio {min(fzf_ratios):.0f}, cold {qt['cold']:.0f} ms, "
            f"start {qt['start']:.0f} ms, close {qt['close']:.0f} ms, rss {window['rss']:.0f} MiB, "
            f"first {qt['first']:.0f} ms, cli {cli:.0f} ms (mdb-export ratio {cli_ratio:.1f}), "
            f"{faults_summary(qt)}, {live_summary(qt['live'])}")
    print()
    for line in summaries:
        print(line)


if __name__ == "__main__":
    sys.exit(main())
