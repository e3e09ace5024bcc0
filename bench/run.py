#!/usr/bin/env python3
"""Speed benchmark: the real window on the offscreen platform against common
text-search tools, over the same designations, in one run.

Usage: run.py BUILD_DIR WORK_DIR [--sizes 10000,100000,1000000] [--reps 21]
"""
import argparse
import os
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


def measure_startup(bench_exe, prefix, reps):
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
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
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
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
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
    samples = []
    for _ in range(reps):
        t0 = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        out = subprocess.run([bench_exe, "--first", query], env=env, check=True,
                             capture_output=True, text=True).stdout
        painted = next(int(l.split()[1]) for l in out.splitlines() if l.startswith("first "))
        samples.append(painted - t0)
    return median_ms(samples)


def measure_window(bench_exe, prefix, reps, settle):
    """Keystrokes once the engine has read and indexed the table."""
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
    out = subprocess.run([bench_exe, "--reps", str(reps), "--queries", ",".join(QUERIES),
                          "--settle", str(settle)],
                         env=env, check=True, capture_output=True, text=True).stdout
    result = {"warm": {}, "rows": {}}
    for line in out.splitlines():
        parts = line.split()
        if parts[0] == "warm":
            result["warm"][parts[1]] = float(parts[2])
            result["rows"][parts[1]] = int(parts[3])
        elif parts[0] == "rss":
            result["rss"] = float(parts[1])
    return result


def measure_indexing(bench_exe, prefix, reps):
    """Each query's median keystroke typed right after the first answer,
    while the engine still builds its index."""
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
    samples = {query: [] for query in QUERIES}
    for _ in range(reps):
        out = subprocess.run([bench_exe, "--indexing", ",".join(QUERIES)], env=env, check=True,
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if parts[0] == "indexing":
                samples[parts[1]].append(float(parts[2]))
    return {query: statistics.median(ms) for query, ms in samples.items()}


def measure_cold(bench_exe, prefix, reps):
    env = dict(os.environ, WINEPREFIX=prefix, QT_QPA_PLATFORM="offscreen")
    samples = []
    for _ in range(reps):
        out = subprocess.run([bench_exe, "--cold", QUERIES[0]], env=env, check=True,
                             capture_output=True, text=True).stdout
        samples.append(float(out.split()[1]))
    return statistics.median(samples)


def q(s):
    return "'" + s.replace("'", "'\\''") + "'"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--reps", type=int, default=21)
    args = ap.parse_args()

    make_db = os.path.join(args.build, "bench", "bench-make-db")
    bench_exe = os.path.join(args.build, "bench", "fiche-bench")
    query_exe = os.path.join(args.build, "tools", "article_query", "article-query")
    sizes = [int(s) for s in args.sizes.split(",")]
    summaries = []
    print(f"{'size':>8} {'query':>8} {'tool':>22} {'ms':>10}")
    for size in sizes:
        prefix = os.path.join(args.work, f"prefix-{size}")
        folder = os.path.join(prefix, "drive_c", "VANTORELISK")
        os.makedirs(folder, exist_ok=True)
        mdb = os.path.join(folder, "TABLEARTICLE.MDB")
        txt = os.path.join(args.work, f"designations-{size}.txt")
        if not (os.path.exists(mdb) and os.path.exists(txt)):
            subprocess.run([make_db, str(size), mdb, txt], check=True)

        # The index takes about a second a million rows on this machine;
        # three leave room for a loaded one.
        window = measure_window(bench_exe, prefix, args.reps, 1 + 3 * size / 1_000_000)
        indexing = measure_indexing(bench_exe, prefix, max(3, args.reps // 4))
        startup = measure_startup(bench_exe, prefix, args.reps)
        cold = measure_cold(bench_exe, prefix, args.reps)
        closing = measure_close(bench_exe, prefix, args.reps)
        first = measure_first(bench_exe, prefix, args.reps, QUERIES[1])
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
            f"fzf ratio {min(fzf_ratios):.0f}, cold {cold:.0f} ms, "
            f"start {startup:.0f} ms, close {closing:.0f} ms, rss {window['rss']:.0f} MiB, "
            f"first {first:.0f} ms, cli {cli:.0f} ms (mdb-export ratio {cli_ratio:.1f})")
    print()
    for line in summaries:
        print(line)


if __name__ == "__main__":
    sys.exit(main())
