#!/usr/bin/env python3
"""Runs every benchmark once and writes the performance report whole: each figure next to
its ceiling or peer measured in the same run, its goal where the benchmark names one, the
command that gives it again, and the machine it ran on.

    bench/report.py [BUILD_DIR] [REPORT]    (default: build/default docs/performance.md)

The benchmarks are run as they are and their printed figures read; each one's own output
is kept in the report. A figure that misses its goal is shown as missed and does not fail
the run. A benchmark that fails to run (its figures not printed) fails it, and the report
is left as it was. FLASHDOCK_BENCH_SKIP_BUILD=1 leaves out the build of a fresh clone, the
slow step; the report then says it was not measured in this run.
"""
import datetime
import os
import platform
import re
import shlex
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NUMBER = r"([0-9]+(?:\.[0-9]+)?)"


class NoFigures(Exception):
    """The output does not hold the figures the benchmark prints when it has run."""


def find(pattern, text, what):
    match = re.search(pattern, text, re.MULTILINE)
    if not match:
        raise NoFigures(what)
    return match


def fnum(match, group):
    return float(match.group(group))


def counter(text, name):
    """A Google Benchmark user counter, with its SI suffix undone."""
    match = find(name + r"=" + NUMBER + r"([kMG]?)", text, name)
    scale = {"": 1, "k": 1e3, "M": 1e6, "G": 1e9}[match.group(2)]
    return float(match.group(1)) * scale


def cpu_us(text, name):
    """The CPU time column of a Google Benchmark console line, in microseconds."""
    match = find(r"^" + name + r"\s+" + NUMBER + r" (ns|us|ms)\s+" + NUMBER + r" (ns|us|ms)", text, name)
    return float(match.group(3)) * {"ns": 1e-3, "us": 1.0, "ms": 1e3}[match.group(4)]


def share_of_core(share):
    percent = 100 * share
    return "< 0.0001 % of one core" if percent < 0.0001 else f"{percent:.4f} % of one core"


def verdict(met):
    return "met" if met else "**missed**"


def row(what, figure, against="—", ratio="—", goal="—", result=None):
    if result is None:
        result = "no goal set" if goal == "—" else ""
    return [what, figure, against, ratio, goal, result]


# ---- The benchmarks: what each runs, how its output is read, what the report says of it ----

class Bench:
    def __init__(self, key, title, argv, about, parse, timeout=900):
        self.key = key
        self.title = title
        self.argv = argv
        self.about = about
        self.parse = parse
        self.timeout = timeout
        self.output = ""
        self.rows = []
        self.failure = None
        self.skipped = None

    def command(self):
        return " ".join(shlex.quote(a) for a in self.argv)


def parse_conversion(out):
    ours = find(r"^ours:\s+" + NUMBER + r" ms\s+" + NUMBER + r" MiB/s", out, "ours")
    rows = []
    for peer, goal in (("objcopy", 2.0), ("srec_cat", None)):
        line = find(r"^" + peer + r":\s+" + NUMBER + r" ms\s+" + NUMBER + r" MiB/s\s+\(start-up " + NUMBER + " ms\)",
                    out, peer)
        ratio = find(r"^ratio: " + NUMBER + r"x " + peer + r"'s throughput \(" + NUMBER + r"x without its start-up\)",
                     out, peer + " ratio")
        net = fnum(ratio, 2)
        rows.append(row(
            f"S-record conversion of 1 MiB of data, against {peer}",
            f"{fnum(ours, 2):.1f} MiB/s ({fnum(ours, 1):.1f} ms)",
            f"{peer}: {fnum(line, 2):.1f} MiB/s ({fnum(line, 1):.1f} ms, of which start-up {fnum(line, 3):.1f} ms)",
            f"{net:.1f}× without its start-up ({fnum(ratio, 1):.1f}× with it)",
            f"≥ {goal:.0f}× {peer}'s, without its start-up" if goal else "—",
            verdict(net >= goal) if goal else None))
    return rows


def parse_memory_conversion(out):
    rows = []
    for name, what in (("BM_ConvertToLoadRecord", "S-record conversion in memory (no file read)"),
                       ("BM_CheckOnly", "S-record check alone (the test at the file choice)")):
        line = find(r"^" + name + r"\s.*bytes_per_second=" + NUMBER + r"([kMG]?)/s", out, name)
        scale = {"": 1 / 1048576, "k": 1 / 1024, "M": 1, "G": 1024}[line.group(2)]
        rows.append(row(what, f"{float(line.group(1)) * scale:.1f} MiB/s of S-record text"))
    return rows


def parse_offline_load(out):
    line = find(r"^median " + NUMBER + r" pages/s; pacing ceiling " + NUMBER + r" pages/s \(" + NUMBER + r" %\); "
                r"link limit " + NUMBER + r" frames/s", out, "median")
    goal = find(r"^goal: within 5 % of the pacing ceiling: (met|missed)", out, "goal")
    pages = find(r"^load 1: (\d+) pages", out, "pages")
    return [row(f"Off-line load of {int(pages.group(1)) // 4} KiB into 1 programmer, 1,000,000 baud",
                f"{fnum(line, 1):.1f} pages/s",
                f"pacing ceiling {fnum(line, 2):.0f} pages/s (the link alone: {fnum(line, 4):.0f} frames/s)",
                f"{fnum(line, 3):.1f} % of the ceiling", "≥ 95 % of the ceiling", verdict(goal.group(1) == "met"))]


def parse_read(out):
    failed = re.search(NUMBER + r" pages/s, " + NUMBER + r" % of the ceiling of the read's timer rule \(" + NUMBER +
                       r" pages/s\)", out)
    if failed:
        rate, ceiling = fnum(failed, 1), fnum(failed, 3)
    else:
        rate, ceiling = counter(out, "pages_per_s"), counter(out, "ceiling_pages_per_s")
    share = rate / ceiling
    return [row("Read of 64 KiB from 1 programmer, 1,000,000 baud", f"{rate:.1f} pages/s",
                f"ceiling of the read's timer rule {ceiling:.1f} pages/s", f"{100 * share:.1f} % of the ceiling",
                "≥ 90 % of the ceiling", verdict(share >= 0.9))]


def scaling_rows(out, lines):
    rows = []
    for label, what in lines:
        line = find(r"^" + label + r"\s+1:\s+" + NUMBER + r" s\s+8:\s+" + NUMBER + r" s\s+ratio " + NUMBER +
                    r"(?:\s+\(goal <= " + NUMBER + r": (met|missed)\))?", out, label)
        goal = line.group(4)
        rows.append(row(what, f"8 programmers: {fnum(line, 2):.3f} s", f"1 programmer: {fnum(line, 1):.3f} s",
                        f"{fnum(line, 3):.3f}", f"≤ {goal}" if goal else "—",
                        verdict(line.group(5) == "met") if goal else None))
    return rows


def parse_gang_scaling(out):
    return scaling_rows(out, [("detection", "Detection (the window opening), 8 programmers against 1"),
                              ("gang cycle", "Gang cycle (Start, the run, Back), 8 programmers against 1"),
                              ("back", "Back alone (record and re-detection), 8 programmers against 1")])


def parse_multi_load(out):
    kib = find(r"an image of " + NUMBER + r" KiB", out, "image size")
    return scaling_rows(out, [("load", f"Off-line load of {kib.group(1)} KiB, 8 programmers at once against 1"),
                              ("set-up", "Off-line set-up (product, ID code, power), 8 programmers against 1")])


def parse_main_window(out):
    rows = []
    for name, what, period_ms in (("BM_IdleDetectionTick", "Idle detection tick of the main window, 8 programmers", 200),
                                  ("BM_GangTickEightProgrammers", "Gang-run poll of 8 programmers", 100)):
        cpu = cpu_us(out, name)
        rows.append(row(what + " (CPU, virtual time)", f"{cpu:.3f} µs of CPU a tick", f"its period, {period_ms} ms",
                        share_of_core(cpu / (period_ms * 1000))))
    return rows


def parse_idle(out):
    line = find(r"^idle CPU: " + NUMBER + r" % of one core over " + NUMBER + r" s", out, "idle CPU")
    return [row("Desktop program idle with 8 simulated programmers (real process)",
                f"{fnum(line, 1):.2f} % of one core", f"a whole core, over {fnum(line, 2):.0f} s")]


def parse_startup(out):
    rows = []
    for label, what in (("flashdock", "Start-up of `flashdock` (offscreen) to its first painted window"),
                        ("flashdock-cli", "Start-up of `flashdock-cli list` to its first printed line")):
        line = find(r"^" + label + r":\s+first .* after " + NUMBER + r" ms \(" + NUMBER + r"-" + NUMBER + r" ms\)",
                    out, label)
        rows.append(row(what + ", demo bench", f"{fnum(line, 1):.0f} ms (median)",
                        f"range {fnum(line, 2):.0f}–{fnum(line, 3):.0f} ms"))
    return rows


def parse_peak_memory(out):
    sizes = find(r"S-record file " + NUMBER + r" MiB, load record " + NUMBER + r" MiB", out, "sizes")
    peak = find(r"^peak RSS: " + NUMBER + r" MiB \(" + NUMBER + r" MiB before", out, "peak RSS")
    ratio = find(r"^ratio: " + NUMBER + r" of the file", out, "ratio")
    return [row("Peak memory of an image filling 0x000100–0xFFFFFF, chosen and converted",
                f"{fnum(peak, 1):.1f} MiB peak RSS ({fnum(peak, 2):.1f} MiB before)",
                f"the file, {fnum(sizes, 1):.1f} MiB, and its load record, {fnum(sizes, 2):.1f} MiB",
                f"{fnum(ratio, 1):.2f} of the two together")]


def parse_build(out):
    configure = find(r"^configure: " + NUMBER + r" s", out, "configure")
    build = find(r"^build: " + NUMBER + r" s", out, "build")
    total = find(r"^total: " + NUMBER + r" s \((\d+) min (\d+) s\)", out, "total")
    steps = find(r"(\S+) build steps", out, "steps")
    return [row("First build of a fresh clone, compiler cache off",
                f"{total.group(2)} min {total.group(3)} s ({fnum(configure, 1):.0f} s configure, "
                f"{fnum(build, 1):.0f} s build, {steps.group(1)} steps)")]


def benches(build):
    b = build + "/bench/"
    return [
        Bench("conversion", "S-record conversion against objcopy and srec_cat",
              ["bench/srecord_vs_objcopy.sh", build, "20"],
              "1 MiB of random data as S2 records of 16 bytes at 0x10000. Ours: read the file and build the "
              "load-record content, in one process (median of 5). objcopy (`-I srec -O binary`) and srec_cat "
              "(`-o FILE -binary`): the whole command writing the same binary, the mean of 20 runs; each one's "
              "start-up, timed on a one-record file, is taken out for the ratio the goal is judged on.",
              parse_conversion),
        Bench("memory-conversion", "S-record conversion in memory",
              [b + "srecord_bench", "--benchmark_filter=^BM_(ConvertToLoadRecord|CheckOnly)$"],
              "The same conversion on a text already in memory (about 2.4 MB holding 1 MiB of data), and the record "
              "check alone; CPU throughput.",
              parse_memory_conversion),
        Bench("offline-load", "Off-line load against the pacing ceiling", [b + "offline_load", "3"],
              "A 512 KiB image, the whole user flash of the largest product, loaded into one simulated programmer "
              "set up for it, on a real-time 1,000,000-baud link, the Loading "
              "window driven by a timer loop; the page list comes from the load record, so the transfer is timed. "
              "The window's timer allows two 260-byte frames a 10 ms tick, 200 pages a second; median of 3.",
              parse_offline_load),
        Bench("read", "Read against its timer ceiling", [b + "read_bench"],
              "64 KiB read from a simulated programmer on a real-time 1,000,000-baud link as the Read window reads "
              "it: one page a tick, the timer restarted 10 ms after each page. The ceiling is what that rule allows: "
              "100 ms before the first page, then per page 10 ms plus its exchange on the wire.",
              parse_read),
        Bench("gang-scaling", "Detection and the gang cycle, 8 programmers against 1", [b + "gang_scaling", "3"],
              "1 and 8 copies of the demo's first programmer on the real clock, the main window's flow driven by a "
              "timer loop: the window opening (open, reset and read every programmer), and a whole gang cycle; "
              "median of 3 each.",
              parse_gang_scaling),
        Bench("multi-load", "Loading and setting up 8 programmers against 1", [b + "multi_load", "3"],
              "The same 64 KiB image loaded into 1 and into 8 programmers at once, and the same off-line set-up "
              "written to 1 and to 8, on the real-time bench; median of 3 each.",
              parse_multi_load),
        Bench("main-window", "CPU of the main window's timers", [b + "main_window_bench"],
              "The host's own work on each tick of the main window's two timers with eight simulated programmers, "
              "in virtual time (the programmers' waits are not counted), against the tick's period.",
              parse_main_window),
        Bench("idle-cpu", "Idle CPU with eight programmers", ["bench/idle_cpu.sh", build, "30"],
              "The desktop program, offscreen, its window idle with eight simulated programmers attached "
              "(detection every 200 ms): its user and system time over 30 s, from /proc, after 2 s of start-up. "
              "The kernel counts that time in ticks of 1/100 s, so the figure resolves about 0.03 % of a core.",
              parse_idle),
        Bench("startup", "Start-up of both programs", ["bench/startup.sh", build, "7"],
              "Each program started 7 times on the demo bench (after one unmeasured start), from the start of the "
              "process to its first output: for `flashdock`, offscreen, its first painted window, seen by a "
              "preloaded observer (`startup_probe`) that prints the window's title and ends the program; for "
              "`flashdock-cli --simulate demo list`, its first line on stdout, which says how many programmers the "
              "detection found.",
              parse_startup),
        Bench("peak-memory", "Peak memory of the largest image", [b + "peak_memory"],
              "S-records filling 0x000100 to 0xFFFFFF (65,535 pages), taken the way of a load: the file choice with "
              "its tests (without the memory-map test, as no product's map spans the whole address space), then the "
              "Loading window's convert step, which reads the file again, converts it and writes the load record. "
              "The process's peak resident set (VmHWM in /proc/self/status) against the file and the load record, "
              "which must be held at once.",
              parse_peak_memory),
        Bench("build", "Build of a fresh clone", ["bench/build_time.sh"],
              "HEAD cloned into a temporary folder; `cmake --preset default`, then `cmake --build --preset default` "
              "with CCACHE_DISABLE=1, at the build's own parallelism (one job a core, and two more).",
              parse_build, timeout=7200),
    ]


# ---- Running ----

def run(bench):
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "offscreen"
    print(f"\n== {bench.title}\n$ {bench.command()}", flush=True)
    try:
        done = subprocess.run(bench.argv, cwd=ROOT, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", timeout=bench.timeout)
        bench.output = done.stdout.rstrip("\n")
        code = done.returncode
    except subprocess.TimeoutExpired as timeout:
        partial = timeout.stdout or ""
        print(partial.decode(errors="replace") if isinstance(partial, bytes) else partial)
        bench.failure = f"did not end within {bench.timeout} s"
        return
    except OSError as error:
        bench.failure = str(error)
        return
    print(bench.output, flush=True)
    try:
        bench.rows = bench.parse(bench.output)
    except NoFigures as missing:
        bench.failure = f"exit {code}, no figures printed ({missing} not found)"


def machine(build):
    def read(path):
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    cpu = re.search(r"^model name\s*:\s*(.+)$", read("/proc/cpuinfo"), re.MULTILINE)
    mem = re.search(r"^MemTotal:\s+(\d+) kB", read("/proc/meminfo"), re.MULTILINE)
    osname = re.search(r'^PRETTY_NAME="?([^"\n]+)', read("/etc/os-release"), re.MULTILINE)
    compiler = "unknown"
    cache = re.search(r"^CMAKE_CXX_COMPILER:FILEPATH=(.+)$", read(os.path.join(build, "CMakeCache.txt")), re.MULTILINE)
    if cache:
        try:
            compiler = subprocess.run([cache.group(1), "--version"], stdout=subprocess.PIPE, text=True,
                                      check=True).stdout.splitlines()[0]
        except (OSError, subprocess.CalledProcessError, IndexError):
            pass
    load = read("/proc/loadavg").split()[:3]
    return [
        ("CPU", cpu.group(1).strip() if cpu else platform.processor() or "unknown"),
        ("Cores", str(len(os.sched_getaffinity(0)))),
        ("RAM", f"{int(mem.group(1)) / 1048576:.1f} GiB" if mem else "unknown"),
        ("OS", f"{osname.group(1) if osname else platform.system()}, Linux {platform.release()} {platform.machine()}"),
        ("Compiler", compiler),
        ("Load average at the start (1, 5, 15 min)", " / ".join(load) if load else "unknown"),
    ]


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.strip()


def cell(text):
    return text.replace("|", "\\|")


def render(benches_run, facts, report_rel):
    commit = git("rev-parse", "--short", "HEAD") or "unknown"
    changed = [line for line in git("status", "--porcelain", "--untracked-files=no").splitlines()
               if not line[3:].endswith(report_rel)]
    if changed:
        commit += " with uncommitted changes"
    when = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    out = ["# Performance", "",
           f"Written by `./dev.sh bench` (`bench/report.py`) on {when}, at commit {commit}. Every figure comes "
           "from this one run, next to its ceiling or peer measured in the same run; a figure that misses its "
           "goal is marked **missed**. Real-time figures move with the load of the machine, given below.",
           "", "## Machine", "", "| | |", "|---|---|"]
    out += [f"| {name} | {cell(value)} |" for name, value in facts]
    out += ["", "## Figures", "", "| Benchmark | Figure | Against | Ratio | Goal | Result |",
            "|---|---|---|---|---|---|"]
    for bench in benches_run:
        if bench.skipped:
            out.append(f"| {cell(bench.title)} | not measured in this run | — | — | — | — |")
        for r in bench.rows:
            out.append("| " + " | ".join(cell(c) for c in r) + " |")
    out += ["", "## How each figure is measured", "",
            "Each command runs from the top of the source tree after `cmake --build --preset default`."]
    for bench in benches_run:
        out += ["", f"### {bench.title}", "", f"`{bench.command()}`", "", bench.about, ""]
        if bench.skipped:
            out.append(bench.skipped)
        else:
            out += ["```", bench.output, "```"]
    return "\n".join(out) + "\n"


def main():
    args = sys.argv[1:]
    if len(args) > 2 or any(not a for a in args) or any(a.startswith("-") for a in args):
        print("usage: bench/report.py [BUILD_DIR] [REPORT]", file=sys.stderr)
        return 2
    build = args[0] if args else "build/default"
    report = os.path.abspath(os.path.join(ROOT, args[1] if len(args) > 1 else "docs/performance.md"))
    build_abs = os.path.join(ROOT, build)
    if not os.path.isdir(build_abs):
        print(f"no build folder {build}: build it first (cmake --build --preset default)", file=sys.stderr)
        return 2

    facts = machine(build_abs)
    all_benches = benches(build)
    for bench in all_benches:
        if bench.key == "build" and os.environ.get("FLASHDOCK_BENCH_SKIP_BUILD") == "1":
            bench.skipped = "Not measured in this run (FLASHDOCK_BENCH_SKIP_BUILD=1)."
            print(f"\n== {bench.title}: not measured (FLASHDOCK_BENCH_SKIP_BUILD=1)")
            continue
        run(bench)

    failed = [b for b in all_benches if b.failure]
    if failed:
        for bench in failed:
            print(f"bench failed to run: {bench.title} ({bench.command()}): {bench.failure}", file=sys.stderr)
        print(f"{os.path.relpath(report, ROOT)} left as it was.", file=sys.stderr)
        return 1

    text = render(all_benches, facts, os.path.relpath(report, ROOT))
    os.makedirs(os.path.dirname(report), exist_ok=True)
    fd, temp = tempfile.mkstemp(prefix=".performance-", suffix=".md", dir=os.path.dirname(report))
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(temp, 0o644)
        os.replace(temp, report)
    except BaseException:
        os.unlink(temp)
        raise
    missed = sum(r[5] == verdict(False) for b in all_benches for r in b.rows)
    print(f"\nWrote {os.path.relpath(report, ROOT)}" + (f"; {missed} figure(s) missed their goal." if missed else "."))
    return 0


if __name__ == "__main__":
    sys.exit(main())
