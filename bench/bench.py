"""Measures txconv against the process floor, against cat and against the
tools a user would otherwise use.

usage: bench.py TXCONV SCRATCH_FOLDER [batch]

Prints Markdown tables: instructions per run against a static C program that
only returns (callgrind, which counts the same on a busy machine as on an
idle one), wall time (hyperfine, or a plain timing loop where it is missing)
and peak RSS; then the batch of 10 000 files each way, in one invocation
against one invocation per file, against a bare loop of the same system calls
and against a Python script with the same durability. With "batch", only
that. bench/run.sh builds the floor and the loop next to TXCONV, in
bench-tools/.
"""

import datetime
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

GIB = 1 << 30
RUNS = 5


def callgrind(argv, answer=b""):
    """Instructions executed by argv and every process it starts."""
    # A log file for each process: the commands redirect their own stderr.
    with tempfile.TemporaryDirectory() as logs:
        subprocess.run(["valgrind", "--tool=callgrind", "--trace-children=yes", "--callgrind-out-file=/dev/null",
                        f"--log-file={logs}/%p.log", *argv], input=answer, capture_output=True, check=True)
        total = 0
        for name in os.listdir(logs):
            with open(os.path.join(logs, name), "rb") as f:
                total += sum(int(c) for c in re.findall(rb"Collected : (\d+)", f.read()))
        return total


SHELL_ALONE = None


def instructions(command, answer=b""):
    """Instructions of a shell command line, less what 'sh -c' costs on its own."""
    # The trailing ':' keeps the shell from replacing itself with the last
    # command, so that every command line pays the same shell.
    global SHELL_ALONE
    if SHELL_ALONE is None:
        SHELL_ALONE = callgrind(["sh", "-c", ":; :"])
    return callgrind(["sh", "-c", command + "; :"], answer) - SHELL_ALONE


def peak_rss_kib(argv, answer=b""):
    """Peak resident set of argv, by GNU time, which forks from a small process:
    a child started straight from Python would count Python's own pages."""
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], input=answer, capture_output=True, check=True)
    return int(proc.stderr.decode().strip().splitlines()[-1])


def wall_seconds(command):
    """Mean wall time of a shell command line."""
    if shutil.which("hyperfine"):
        with tempfile.NamedTemporaryFile(suffix=".json") as out:
            subprocess.run(["hyperfine", "--shell=sh", "--warmup", "1", "--runs", str(RUNS), "--export-json",
                            out.name, command], check=True, capture_output=True)
            with open(out.name) as f:
                return json.load(f)["results"][0]["mean"]
    # One run first, as hyperfine's warm-up: the first read of a fresh file
    # fills the page cache, which the command timed next would not pay.
    subprocess.run(["sh", "-c", command], check=True, capture_output=True)
    total = 0.0
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(["sh", "-c", command], check=True, capture_output=True)
        total += time.perf_counter() - start
    return total / RUNS


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown"


def write(name, content, size=None):
    with open(name, "wb") as f:
        f.write(content)
    if size is not None:
        os.truncate(name, size)  # sparse: no disk taken, read back as zeros


def ms(seconds):
    return f"{seconds * 1000:.2f} ms"


BATCH = 10_000
PEER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "batch_peer.py")
TOOLS = None  # bench-tools/ beside the txconv binary: floor and syscall_loop


def timed(command, inputs, runs):
    """Mean wall time of a shell command line, each run in a fresh folder that
    holds hard links to inputs. Nothing is deleted between runs: on ext4 the
    inode allocator slows down for a while after mass deletions, which would
    measure the file system's history rather than the programs."""
    total = 0.0
    for _ in range(runs):
        folder = f"run{len(os.listdir('.'))}"
        os.mkdir(folder)
        for name in inputs:
            os.link(os.path.join("inputs", name), os.path.join(folder, name))
        start = time.perf_counter()
        subprocess.run(["sh", "-c", command], cwd=folder, check=True, capture_output=True)
        total += time.perf_counter() - start
    return total / runs


def batch(txconv):
    """The batch rows: 10 000 tables to listings, and those listings back."""
    os.makedirs("batch/inputs")
    os.chdir("batch")
    tables = [f"t{i:05}.tx" for i in range(BATCH)]
    for i, name in enumerate(tables):
        write(os.path.join("inputs", name),
              struct.pack("<95I", *[(0x9E3779B9 * (i + k)) & 0xFFFFFFFF for k in range(95)]))
    subprocess.run([txconv, "-2", *tables], cwd="inputs", check=True)
    listings = [name + "t" for name in tables]
    rows = []
    for what, option, inputs, pattern in (("tables → listings", "-2", tables, "*.tx"),
                                          ("listings → tables", "-1", listings, "*.txt")):
        one = timed(f"{txconv} {option} {pattern}", inputs, RUNS)
        each = timed(f"for f in {pattern}; do {txconv} {option} \"$f\"; done", inputs, 1)
        size = 1235 if option == "-2" else 380
        bare = timed(f"{TOOLS}/syscall_loop {size} {pattern}", inputs, RUNS)
        peer = timed(f"python3 {PEER} {option} {pattern}", inputs, RUNS)
        rows.append((what, f"{one:.2f} s", f"{each:.2f} s", f"{each / one:.1f}", f"{bare:.2f} s", f"{one / bare:.2f}",
                     f"{peer:.2f} s", f"{one / peer:.2f}"))
    os.chdir("..")
    shutil.rmtree("batch")
    return rows


def print_batch(rows):
    print(f"\nBatch of {BATCH:,} files (must: at most 1.4× the bare loop of its system calls, at least 10× faster "
          "than one invocation per file, at most 1.0× the Python script):\n")
    print("| direction | one txconv | one txconv per file | speed-up | bare system calls | ratio to them "
          "| Python, same durability | ratio to Python |")
    print("|---|---|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")


def dense_listing(name):
    """A listing appended to itself until it fills 1 GiB: a field every 13 bytes."""
    one = b"".join(b"uv=%08X\r\n" % ((0x9E3779B9 * (i + 1)) & 0xFFFFFFFF) for i in range(95))
    block = one * (GIB // len(one) // 1024)
    with open(name, "wb") as f:
        for _ in range(1024):
            f.write(block)


def main():
    global TOOLS
    txconv, work = os.path.abspath(sys.argv[1]), sys.argv[2]
    TOOLS = os.path.join(os.path.dirname(txconv), "bench-tools")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chdir(work)
    if sys.argv[3:] == ["batch"]:
        print_batch(batch(txconv))
        return

    values = [(0x9E3779B9 * (i + 1)) & 0xFFFFFFFF for i in range(95)]
    write("t.tx", struct.pack("<95I", *values))
    write("l.txt", b"".join(b"uv=%08X\r\n" % v for v in values))
    write("bigt.tx", struct.pack("<95I", *values), GIB)  # a 1 GiB table: the first image counts
    write("bigl.txt", b"", GIB)  # a 1 GiB listing without '=': read to the end
    write("one", b"1\n")
    write("two", b"2\n")

    figures = []

    def figure(what, mine, reference, ratio, target):
        figures.append((what, mine, reference, ratio, target))

    # Instructions per run, against a static C program that only returns:
    # what any process costs here. Every menu run appends its output; the
    # cost of appending does not depend on the target's size.
    floor = callgrind([os.path.join(TOOLS, "floor")])
    for what, argv, answer in (("menu, table → listing", ["t.tx"], b"2\n"),
                               ("menu, listing → table", ["l.txt"], b"1\n"),
                               ("`-2 -o -`", ["-2", "-o", "-", "t.tx"], b""),
                               ("`-1 -o -`", ["-1", "-o", "-", "l.txt"], b"")):
        mine = callgrind([txconv, *argv], answer)
        figure(f"instructions, {what}, vs the process floor", f"{mine:,}", f"{floor:,}", f"{mine / floor:.3f}",
               "≤ 1.5 must")

    # Flat in file size.
    small = wall_seconds(f"{txconv} t.tx < two")
    large = wall_seconds(f"{txconv} bigt.tx < two")
    figure("wall time, table → listing, 1 GiB table vs 380 B", ms(large), ms(small), f"{large / small:.2f}",
           "same within noise")
    rss_small = peak_rss_kib([txconv, "t.tx"], b"2\n")
    rss_large = peak_rss_kib([txconv, "bigt.tx"], b"2\n")
    figure("peak RSS, table → listing, 1 GiB table vs 380 B", f"{rss_large} KiB", f"{rss_small} KiB",
           f"{rss_large / rss_small:.2f}", "same within noise")
    scan = wall_seconds(f"{txconv} bigl.txt < one")
    cat = wall_seconds("cat bigl.txt > /dev/null")
    figure("wall time, 1 GiB listing of NULs, vs `cat` of it", ms(scan), ms(cat), f"{scan / cat:.2f}",
           "≤ 3 must")
    dense_listing("dense.txt")
    dense = wall_seconds(f"{txconv} -1 -o - dense.txt > /dev/null")
    cat = wall_seconds("cat dense.txt > /dev/null")
    figure("wall time, 1 GiB listing dense with fields, vs `cat` of it", ms(dense), ms(cat), f"{dense / cat:.2f}",
           "≤ 3 must")
    rss_dense = peak_rss_kib([txconv, "-1", "-o", "-", "dense.txt"])
    figure("peak RSS, 1 GiB dense listing", f"{rss_dense} KiB", "16384 KiB", f"{rss_dense / 16384:.2f}",
           "< 16 MiB must")
    os.remove("dense.txt")
    rss_scan = peak_rss_kib([txconv, "bigl.txt"], b"1\n")
    figure("peak RSS, 1 GiB listing of NULs", f"{rss_scan} KiB", "16384 KiB", f"{rss_scan / 16384:.2f}",
           "< 16 MiB must")

    # Against the tools a user would otherwise reach for.
    peers = [
        ("table → listing", "txconv", f"{txconv} t.tx < two > /dev/null 2>&1", None),
        ("table → listing", "xxd, cut, sed",
         "xxd -e -g4 -c4 -u t.tx | cut -c11-18 | sed 's/^/uv=/; s/$/\\r/' >> out.txt", "xxd"),
        ("table → listing", "hexdump", "hexdump -v -e '1/4 \"uv=%08X\\r\\n\"' t.tx >> out.txt", "hexdump"),
        ("table → listing", "python3 struct",
         "python3 -c 'import struct; d = open(\"t.tx\", \"rb\").read(380); "
         "open(\"out.txt\", \"ab\").write(b\"\".join(b\"uv=%08X\\r\\n\" % v for v in struct.unpack(\"<95I\", d)))'",
         "python3"),
        ("listing → table", "txconv", f"{txconv} l.txt < one > /dev/null 2>&1", None),
        ("listing → table", "sed, xxd -r",
         "sed 's/^uv=\\(..\\)\\(..\\)\\(..\\)\\(..\\)\\r$/\\4\\3\\2\\1/' l.txt | xxd -r -p >> out.tx", "xxd"),
        ("listing → table", "python3 struct",
         "python3 -c 'import struct; t = open(\"l.txt\", \"rb\").read().split(b\"\\r\\n\")[:95]; "
         "v = [int(x[3:11], 16) for x in t if x]; "
         "open(\"out.tx\", \"ab\").write(struct.pack(\"<%dI\" % len(v), *v))'", "python3"),
    ]
    rows, skipped, base = [], [], {}
    for direction, name, command, needs in peers:
        if needs and not shutil.which(needs):
            skipped.append(f"{name}: `{needs}` is not installed")
            continue
        count = instructions(command)
        wall = wall_seconds(command)
        base.setdefault(direction, (count, wall))
        first_count, first_wall = base[direction]
        rows.append((direction, name, f"{count:,}", f"{count / first_count:.1f}", ms(wall),
                     f"{wall / first_wall:.1f}"))

    nproc = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    timer = "hyperfine" if shutil.which("hyperfine") else "a timing loop (hyperfine is not installed)"
    print(f"Measured on {datetime.date.today()}: {cpu_model()}, nproc {nproc}; "
          f"wall times by {timer}, mean of {RUNS} runs.\n")
    print("| figure | txconv | reference | ratio | target |")
    print("|---|---|---|---|---|")
    for r in figures:
        print("| " + " | ".join(r) + " |")
    print("\nAgainst peers (each command as a user would type it, shell included; ratios to txconv):\n")
    print("| direction | tool | instructions | ratio | wall time | ratio |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")
    for s in skipped:
        print(f"\nskipped {s}")
    print_batch(batch(txconv))


if __name__ == "__main__":
    main()
