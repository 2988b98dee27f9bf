#!/usr/bin/env python3
"""run_bench.py -- times the brevik command side by side with the ZIP tools a user would pick instead.

Every measurement runs each tool several times in alternation (A B C A B C ...) so that the machine's
drift cancels, and reports the median wall time, the CPU time and peak memory of the child (from
wait4's rusage, taken by the small measure launcher) and the archive size, with the ratio of brevik to each peer and to the floor.
Results go to results.md and results.csv in the scratch folder; the table is printed too.
"""

import argparse
import csv
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

# Five runs even in quick mode: with three, one slow run of a tool decided its median and a
# verdict flipped between runs of the same build.
QUICK_RUNS = 5
GROUPS = ("create", "extract", "list", "delete", "password")
FULL_RUNS = 7
MEASURE = None       # the measure launcher, set from --measure
MEASURE_DIR = None   # where it writes its report


# ---------------------------------------------------------------------------------------------
# Corpora: deterministic, from the machine's own files and a seeded generator, never downloaded.

def make_text_corpus(root):
    """A copy of /usr/include (regular files only)."""
    target = os.path.join(root, "text")
    if not os.path.isdir(target):
        shutil.copytree("/usr/include", target, symlinks=False, ignore_dangling_symlinks=True,
                        copy_function=shutil.copyfile)
    return target


def make_binary_corpus(root, budget_bytes=200 * 1024 * 1024):
    """A fixed, sorted selection of shared libraries, up to about 200 MB."""
    target = os.path.join(root, "binary")
    if os.path.isdir(target):
        return target
    os.makedirs(target)
    source = "/usr/lib/x86_64-linux-gnu"
    total = 0
    for name in sorted(os.listdir(source)):
        path = os.path.join(source, name)
        if ".so" not in name or os.path.islink(path) or not os.path.isfile(path):
            continue
        size = os.path.getsize(path)
        if total + size > budget_bytes:
            continue
        shutil.copyfile(path, os.path.join(target, name))
        total += size
    return target


def make_tiny_corpus(root, count=20000):
    """20000 files of 100 to 2000 bytes from a seeded generator, 100 to a folder."""
    target = os.path.join(root, "tiny")
    if os.path.isdir(target):
        return target
    rng = random.Random(20261208)
    words = [b"alpha ", b"beta ", b"gamma ", b"delta ", b"zip ", b"entry ", b"\n"]
    for i in range(count):
        folder = os.path.join(target, "d%03d" % (i // 100))
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(100, 2000)
        data = bytearray()
        while len(data) < size:
            data += rng.choice(words) if rng.random() < 0.7 else bytes([rng.randint(0, 255)])
        with open(os.path.join(folder, "f%05d.txt" % i), "wb") as out:
            out.write(bytes(data[:size]))
    return target


def make_large_corpus(root):
    """One 1 GiB file of mixed data (text-like runs and random runs), only when the disk has room."""
    target = os.path.join(root, "large")
    path = os.path.join(target, "large.bin")
    if os.path.exists(path):
        return target
    if shutil.disk_usage(root).free < 6 * 1024 ** 3:
        return None
    os.makedirs(target, exist_ok=True)
    rng = random.Random(1)
    text = (b"the quick brown fox jumps over the lazy dog " * 2000)
    with open(path, "wb") as out:
        written = 0
        while written < 1024 ** 3:
            chunk = text[: 65536] if rng.random() < 0.5 else rng.randbytes(65536)
            out.write(chunk)
            written += len(chunk)
    return target


def make_mixed_corpus(root, total=256 * 1024 * 1024):
    """One 256 MiB file of mixed content, made the same way on every run: 64 KiB pieces chosen by a
    seeded generator, half text (the files of /usr/include in sorted order, read on and on), a
    quarter binary (the shared libraries of /usr/lib/x86_64-linux-gnu in sorted order, the same
    way) and a quarter random bytes. Each kind goes on where it stopped, so no piece repeats an
    earlier one of its kind until a source runs out."""
    target = os.path.join(root, "mixed")
    path = os.path.join(target, "mixed.bin")
    if os.path.exists(path):
        return target
    os.makedirs(target, exist_ok=True)

    def pieces(paths):
        while True:
            for name in paths:
                try:
                    with open(name, "rb") as source:
                        while True:
                            piece = source.read(65536)
                            if not piece:
                                break
                            yield piece
                except OSError:
                    continue

    def sorted_files(folder, keep):
        found = []
        for base, folders, names in os.walk(folder):
            folders.sort()
            for name in sorted(names):
                full = os.path.join(base, name)
                if keep(name) and os.path.isfile(full) and not os.path.islink(full):
                    found.append(full)
        return found

    text = pieces(sorted_files("/usr/include", lambda name: True))
    binary = pieces(sorted_files("/usr/lib/x86_64-linux-gnu", lambda name: ".so" in name))
    rng = random.Random(256)
    with open(path + ".part", "wb") as out:
        written = 0
        while written < total:
            choice = rng.random()
            piece = next(text) if choice < 0.5 else next(binary) if choice < 0.75 else rng.randbytes(65536)
            piece = piece[: total - written]
            out.write(piece)
            written += len(piece)
    os.rename(path + ".part", path)
    return target


def make_many_entries_archive(root, count=65535):
    """An archive of exactly 65535 tiny entries, written by Python's zipfile."""
    path = os.path.join(root, "entries65535.zip")
    if not os.path.exists(path):
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
            for i in range(count):
                archive.writestr("dir%03d/entry%05d.txt" % (i // 1000, i), b"entry %d\n" % i)
    return path


def corpus_summary(path):
    files = 0
    size = 0
    for folder, _, names in os.walk(path):
        for name in names:
            full = os.path.join(folder, name)
            if os.path.isfile(full) and not os.path.islink(full):
                files += 1
                size += os.path.getsize(full)
    return files, size


# ---------------------------------------------------------------------------------------------
# Running and measuring one command.

class Sample:
    def __init__(self, wall, cpu, peak_kib, status):
        self.wall = wall
        self.cpu = cpu
        self.peak_kib = peak_kib
        self.status = status


def run_once(argv, cwd, env=None, prepare=None):
    """One run through the measure launcher, whose small size keeps the child's peak memory its own."""
    if prepare:
        prepare()
    # Start every timed run from a quiet disk: otherwise a run pays for the write-back of what the
    # preparation (or the run before) wrote, e.g. a truncate that waits for the discard of blocks
    # a copy has only just written.
    os.sync()
    report = os.path.join(MEASURE_DIR, "measure-report.txt")
    process = subprocess.run([MEASURE, report] + argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    with open(report) as lines:
        wall, cpu, peak_kib, status = lines.read().split()
    if int(status) != 0:
        sys.stderr.write("  ! %s exited %s: %s\n" % (" ".join(argv[:3]), status,
                                                    process.stderr.decode(errors="replace").strip()[:300]))
    return Sample(float(wall), float(cpu), int(peak_kib), int(status))


class Tool:
    """One contender of a measurement: how to run it, what to clean before each run, what it makes."""

    def __init__(self, name, argv, cwd, output=None, env=None, fresh_dir=False, copy_source=None):
        self.name = name
        self.argv = argv
        self.cwd = cwd
        self.output = output
        self.env = env
        self.fresh_dir = fresh_dir        # the output is a folder made empty before each run
        self.copy_source = copy_source    # the output is a fresh copy of this file before each run

    def prepare(self):
        if self.copy_source:
            shutil.copyfile(self.copy_source, self.output)
        elif self.fresh_dir:
            remove(self.output)
            os.makedirs(self.output)
        else:
            remove(self.output)


def remove(path):
    if path is None:
        return
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def output_size(path):
    if path is None or not os.path.exists(path):
        return None
    if os.path.isfile(path):
        return os.path.getsize(path)
    return corpus_summary(path)[1]


def with_baseline(ctx, tools):
    """Adds 'brevik before' (the --baseline command) after each brevik tool, writing its own output."""
    if not ctx.baseline:
        return tools
    result = []
    for tool in tools:
        result.append(tool)
        if not tool.name.startswith("brevik"):
            continue
        output = None
        if tool.output:
            folder, leaf = os.path.split(tool.output)
            output = os.path.join(folder, "before-" + leaf)
        argv = [ctx.baseline if arg == ctx.brevik else (output if arg == tool.output else arg) for arg in tool.argv]
        result.append(Tool(tool.name.replace("brevik", "brevik before", 1), argv, tool.cwd, output, tool.env,
                           fresh_dir=tool.fresh_dir, copy_source=tool.copy_source))
    return result


def measure(ctx, task, tools, runs):
    """Runs every tool `runs` times in alternation and returns one row per tool."""
    tools = with_baseline(ctx, tools)
    samples = {tool.name: [] for tool in tools}
    sizes = {}
    for _ in range(runs):
        for tool in tools:
            samples[tool.name].append(run_once(tool.argv, tool.cwd, tool.env, tool.prepare))
            sizes[tool.name] = output_size(tool.output)
    rows = []
    for tool in tools:
        done = samples[tool.name]
        rows.append({
            "task": task,
            "tool": tool.name,
            "wall_s": statistics.median(s.wall for s in done),
            "cpu_s": statistics.median(s.cpu for s in done),
            "peak_mib": max(s.peak_kib for s in done) / 1024.0,
            "size": sizes.get(tool.name),
            "ok": all(s.status == 0 for s in done),
        })
    return rows


# ---------------------------------------------------------------------------------------------
# The measurements.

def python_zip_argv(source, archive, compression, level=None, password=None):
    code = (
        "import os,sys,zipfile\n"
        "src,dst=sys.argv[1],sys.argv[2]\n"
        "with zipfile.ZipFile(dst,'w',zipfile.%s%s) as z:\n"
        "  base=src\n"
        "  for d,_,fs in os.walk(src):\n"
        "    for f in sorted(fs):\n"
        "      p=os.path.join(d,f)\n"
        "      if os.path.isfile(p) and not os.path.islink(p): z.write(p,os.path.relpath(p,base))\n"
        % (compression, (",compresslevel=%d" % level) if level is not None else ""))
    return [sys.executable, "-c", code, source, archive]


def python_extract_argv(archive, target):
    return [sys.executable, "-c",
            "import sys,zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
            archive, target]


def python_list_argv(archive):
    return [sys.executable, "-c",
            "import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, i.file_size)",
            archive]


ONE_THREAD = dict(os.environ, BREVIK_THREADS="1")


def inside(source):
    """Every archiver is run inside the corpus folder on "." and brevik with --no-paths, so that all
    store the same names (the corpus's files relative to it) and archive sizes compare the data
    and the headers, not how much of the path each tool keeps."""
    return source, "."


BREVIK_NAMES = ["--no-paths"]


def create_tools(ctx, name, source):
    parent, leaf = inside(source)
    out = lambda tool: os.path.join(ctx.work, "%s-%s.zip" % (name, tool))
    tools = [
        Tool("brevik", [ctx.brevik, "zip", out("brevik")] + BREVIK_NAMES + [leaf], parent, out("brevik")),
        Tool("brevik 1 thread", [ctx.brevik, "zip", out("brevik1")] + BREVIK_NAMES + [leaf], parent, out("brevik1"), env=ONE_THREAD),
        Tool("zip -6", ["zip", "-q", "-6", "-r", out("zip"), leaf], parent, out("zip")),
        # 7-Zip's fastest mode, on all its threads: the speed to beat with a smaller archive.
        Tool("7zz -mx1", ["7zz", "a", "-bd", "-bso0", "-tzip", "-mx1", out("7zz-mx1"), leaf], parent, out("7zz-mx1")),
        Tool("7zz -mmt=1", ["7zz", "a", "-bd", "-bso0", "-tzip", "-mx=5", "-mmt=1", out("7zz1"), leaf],
             parent, out("7zz1")),
        Tool("bsdtar", ["bsdtar", "--format", "zip", "-cf", out("bsdtar"), leaf], parent, out("bsdtar")),
        Tool("python", python_zip_argv(source, out("python"), "ZIP_DEFLATED", 6), parent, out("python")),
        # The floor: libdeflate's whole-buffer deflate and CRC-32 of each file, on one thread.
        Tool("floor", [ctx.floor, "deflate", "6", leaf], parent, None),
    ]
    if ctx.full:
        tools.insert(3, Tool("7zz", ["7zz", "a", "-bd", "-bso0", "-tzip", "-mx=5", out("7zz"), leaf],
                             parent, out("7zz")))
    return tools


def one_core_tools(ctx, name, source):
    """brevik and zip -6 held to the first core (taskset -c 0), both."""
    parent, leaf = inside(source)
    out = lambda tool: os.path.join(ctx.work, "%s-core0-%s.zip" % (name, tool))
    return [
        Tool("brevik", ["taskset", "-c", "0", ctx.brevik, "zip", out("brevik")] + BREVIK_NAMES + [leaf], parent, out("brevik")),
        Tool("zip -6", ["taskset", "-c", "0", "zip", "-q", "-6", "-r", out("zip"), leaf], parent, out("zip")),
    ]


def large_file_tools(ctx, name, source):
    """One large file: brevik on all cores and on one thread, zip -6 and 7-Zip's fastest mode."""
    parent, leaf = inside(source)
    out = lambda tool: os.path.join(ctx.work, "%s-%s.zip" % (name, tool))
    return [
        Tool("brevik", [ctx.brevik, "zip", out("brevik")] + BREVIK_NAMES + [leaf], parent, out("brevik")),
        Tool("brevik 1 thread", [ctx.brevik, "zip", out("brevik1")] + BREVIK_NAMES + [leaf], parent, out("brevik1"), env=ONE_THREAD),
        Tool("zip -6", ["zip", "-q", "-6", "-r", out("zip"), leaf], parent, out("zip")),
        Tool("7zz -mx1", ["7zz", "a", "-bd", "-bso0", "-tzip", "-mx1", out("7zz-mx1"), leaf], parent, out("7zz-mx1")),
    ]


def stored_tools(ctx, name, source):
    parent, leaf = inside(source)
    out = lambda tool: os.path.join(ctx.work, "%s-stored-%s.zip" % (name, tool))
    return [
        Tool("zip -0", ["zip", "-q", "-0", "-r", out("zip"), leaf], parent, out("zip")),
        Tool("7zz -mx=0", ["7zz", "a", "-bd", "-bso0", "-tzip", "-mx=0", out("7zz"), leaf], parent, out("7zz")),
        Tool("bsdtar", ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf",
                        out("bsdtar"), leaf], parent, out("bsdtar")),
        Tool("python", python_zip_argv(source, out("python"), "ZIP_STORED"), parent, out("python")),
        Tool("floor", [ctx.floor, "copy", leaf, out("floor")], parent, out("floor")),
    ]


def extract_tools(ctx, name, archive):
    target = lambda tool: os.path.join(ctx.work, "%s-x-%s" % (name, tool))
    return [
        Tool("brevik", [ctx.brevik, "unzip", archive, "-d", target("brevik")], ctx.work, target("brevik"),
             fresh_dir=True),
        Tool("brevik 1 thread", [ctx.brevik, "unzip", archive, "-d", target("brevik1")], ctx.work, target("brevik1"),
             env=ONE_THREAD, fresh_dir=True),
        Tool("unzip -q", ["unzip", "-q", "-o", archive, "-d", target("unzip")], ctx.work, target("unzip"),
             fresh_dir=True),
        Tool("7zz x", ["7zz", "x", "-bd", "-bso0", "-y", "-o" + target("7zz"), archive], ctx.work, target("7zz"),
             fresh_dir=True),
        Tool("bsdtar -xf", ["bsdtar", "-xf", archive, "-C", target("bsdtar")], ctx.work, target("bsdtar"),
             fresh_dir=True),
        Tool("python", python_extract_argv(archive, target("python")), ctx.work, target("python"),
             fresh_dir=True),
        # The floor: libdeflate's whole-buffer inflate and CRC-32 of each entry, on one thread.
        Tool("floor", [ctx.floor, "inflate", archive, target("floor")], ctx.work, target("floor"), fresh_dir=True),
    ]


def list_tools(ctx, archive):
    return [
        Tool("brevik", [ctx.brevik, "list", archive], ctx.work),
        Tool("unzip -l", ["unzip", "-l", archive], ctx.work),
        Tool("7zz l", ["7zz", "l", archive], ctx.work),
        Tool("bsdtar -tf", ["bsdtar", "-tf", archive], ctx.work),
        Tool("python", python_list_argv(archive), ctx.work),
    ]


def delete_tools(ctx, archive, entry_name, which):
    copy = lambda tool: os.path.join(ctx.work, "delete-%s-%s.zip" % (which, tool))
    return [
        Tool("brevik", [ctx.brevik, "delete", copy("brevik"), entry_name], ctx.work, copy("brevik"),
             copy_source=archive),
        Tool("zip -d", ["zip", "-q", "-d", copy("zip"), entry_name], ctx.work, copy("zip"),
             copy_source=archive),
        Tool("7zz d", ["7zz", "d", "-bd", "-bso0", copy("7zz"), entry_name], ctx.work, copy("7zz"),
             copy_source=archive),
    ]


def password_tools(ctx, name, source):
    parent, leaf = inside(source)
    out = lambda tool: os.path.join(ctx.work, "%s-pw-%s.zip" % (name, tool))
    env = dict(os.environ, BREVIK_BENCH_PASSWORD="bench-secret")
    return [
        Tool("brevik", [ctx.brevik, "zip", out("brevik"), "--password-env", "BREVIK_BENCH_PASSWORD"] + BREVIK_NAMES + [leaf],
             parent, out("brevik"), env=env),
        Tool("brevik plain", [ctx.brevik, "zip", out("brevik-plain")] + BREVIK_NAMES + [leaf], parent, out("brevik-plain")),
        Tool("zip -P", ["zip", "-q", "-6", "-r", "-P", "bench-secret", out("zip"), leaf], parent, out("zip")),
    ]


def password_extract_tools(ctx, name):
    archive = lambda tool: os.path.join(ctx.work, "%s-pw-%s.zip" % (name, tool))
    target = lambda tool: os.path.join(ctx.work, "%s-pwx-%s" % (name, tool))
    env = dict(os.environ, BREVIK_BENCH_PASSWORD="bench-secret")
    return [
        Tool("brevik", [ctx.brevik, "unzip", archive("brevik"), "-d", target("brevik"), "--password-env",
                        "BREVIK_BENCH_PASSWORD"], ctx.work, target("brevik"), env=env,
             fresh_dir=True),
        Tool("brevik plain", [ctx.brevik, "unzip", archive("brevik-plain"), "-d", target("brevik-plain")], ctx.work,
             target("brevik-plain"), fresh_dir=True),
        Tool("unzip -P", ["unzip", "-q", "-o", "-P", "bench-secret", archive("zip"), "-d", target("unzip")], ctx.work,
             target("unzip"), fresh_dir=True),
    ]


# ---------------------------------------------------------------------------------------------
# Targets: each row of the verdict table says what was asked, what was measured, and met or not.

def row_of(rows, task, tool):
    for row in rows:
        if row["task"] == task and row["tool"] == tool:
            return row
    return None


def memory_checks(check, rows, task):
    """Peak memory: at most 32 MiB on every core, 16 MiB on one thread."""
    for tool, limit in (("brevik", 32), ("brevik 1 thread", 16)):
        row = row_of(rows, task, tool)
        if row:
            check("%s: peak memory of %s <= %d MiB" % (task, tool, limit), "%.1f MiB" % row["peak_mib"],
                  row["peak_mib"] <= limit)


def verdicts(rows, corpora, entry_count):
    checks = []

    def check(what, measured, met):
        checks.append((what, measured, "met" if met else "NOT met"))

    for name in corpora:
        task = "create " + name
        b = row_of(rows, task, "brevik")
        b1 = row_of(rows, task, "brevik 1 thread")
        floor = row_of(rows, task, "floor")
        if b1 and floor and floor["cpu_s"] > 0:
            ratio = b1["cpu_s"] / floor["cpu_s"]
            check("%s: CPU of 1 thread <= 1.05x floor (libdeflate)" % task, "%.2fx" % ratio, ratio <= 1.05)
        zip6 = row_of(rows, task, "zip -6")
        mx1 = row_of(rows, task, "7zz -mx1")
        if name == "text" and b and zip6 and b["size"] and zip6["size"]:
            ratio = b["wall_s"] / zip6["wall_s"]
            check("%s, all cores: wall <= 0.35x zip -6" % task, "%.2fx" % ratio, ratio <= 0.35)
            check("%s: archive no larger than zip -6's" % task, "%s vs %s" % (format_size(b["size"]),
                  format_size(zip6["size"])), b["size"] <= zip6["size"])
        if name == "text" and b and mx1 and mx1["ok"] and b["size"] and mx1["size"]:
            check("%s: faster than 7zz -mx1 with a smaller archive" % task,
                  "%.2fx, %s vs %s" % (b["wall_s"] / mx1["wall_s"], format_size(b["size"]), format_size(mx1["size"])),
                  b["wall_s"] < mx1["wall_s"] and b["size"] < mx1["size"])
        peers = [row_of(rows, task, t) for t in ("zip -6", "7zz -mmt=1", "bsdtar", "python")]
        peers = [p for p in peers if p and p["ok"]]
        if b and peers:
            fastest = min(peers, key=lambda p: p["wall_s"])
            ratio = b["wall_s"] / fastest["wall_s"]
            check("%s: wall <= fastest single-threaded peer (%s) within 3%%" % (task, fastest["tool"]),
                  "%.2fx" % ratio, ratio <= 1.03)
        memory_checks(check, rows, task)
        task = "extract " + name
        b = row_of(rows, task, "brevik")
        bsd = row_of(rows, task, "bsdtar -xf")
        if b and bsd:
            ratio = b["wall_s"] / bsd["wall_s"]
            check("%s: wall <= bsdtar -xf" % task, "%.2fx" % ratio, ratio <= 1.0)
        unzip = row_of(rows, task, "unzip -q")
        if name == "text" and b and unzip:
            ratio = b["wall_s"] / unzip["wall_s"]
            check("%s: wall <= 0.4x unzip -q" % task, "%.2fx" % ratio, ratio <= 0.4)
        memory_checks(check, rows, task)
    for task, allowed in (("create text, one core", 0.6), ("create mixed 256 MiB", 0.4)):
        b = row_of(rows, task, "brevik")
        zip6 = row_of(rows, task, "zip -6")
        if b and zip6:
            ratio = b["wall_s"] / zip6["wall_s"]
            check("%s: wall <= %.1fx zip -6" % (task, allowed), "%.2fx" % ratio, ratio <= allowed)
        if task.startswith("create mixed"):
            memory_checks(check, rows, task)
    b = row_of(rows, "list %d entries" % entry_count, "brevik")
    seven = row_of(rows, "list %d entries" % entry_count, "7zz l")
    if b and seven:
        ratio = b["wall_s"] / seven["wall_s"]
        check("list %d entries: wall <= 7zz l" % entry_count, "%.2fx" % ratio, ratio <= 1.0)
        per_entry = b["peak_mib"] * 1024 / entry_count
        check("list: peak memory <= 0.5 KiB per entry", "%.2f KiB" % per_entry, per_entry <= 0.5)
    for which, factor in (("last", 3.0), ("first", 1.0)):
        b = row_of(rows, "delete %s entry" % which, "brevik")
        z = row_of(rows, "delete %s entry" % which, "zip -d")
        if b and z and b["wall_s"] > 0:
            speedup = z["wall_s"] / b["wall_s"]
            check("delete %s entry: >= %.0fx faster than zip -d" % (which, factor), "%.2fx" % speedup,
                  speedup >= factor)
        if b:
            check("delete %s entry: peak memory <= 16 MiB" % which, "%.1f MiB" % b["peak_mib"],
                  b["peak_mib"] <= 16)
    for task in sorted({r["task"] for r in rows if r["task"].startswith("password")}):
        b = row_of(rows, task, "brevik")
        plain = row_of(rows, task, "brevik plain")
        if b and plain and plain["wall_s"] > 0:
            ratio = b["wall_s"] / plain["wall_s"]
            check("%s: cost of a password <= 1.15x" % task, "%.2fx" % ratio, ratio <= 1.15)
    return checks


# ---------------------------------------------------------------------------------------------

def format_size(value):
    if value is None:
        return "-"
    return "%.1f MB" % (value / 1e6)


def file_system_type(path):
    """The type of the file system holding `path` (e.g. tmpfs, ext4), as `stat -f` reports it."""
    result = subprocess.run(["stat", "-f", "-c", "%T", path], stdout=subprocess.PIPE, text=True)
    return result.stdout.strip() or "unknown"


def write_reports(scratch, rows, checks, corpus_lines, machine):
    brevik_rows = {r["task"]: r for r in rows if r["tool"] == "brevik"}
    lines = ["Machine: %s" % machine, "", "Scratch folder: %s (%s)" % (scratch, file_system_type(scratch)), ""]
    lines += ["| corpus | files | bytes |", "|---|---|---|"] + corpus_lines + [""]
    lines += ["| task | tool | wall s | CPU s | peak MiB | size | brevik/tool (wall) | ok |",
              "|---|---|---|---|---|---|---|---|"]
    for row in rows:
        b = brevik_rows.get(row["task"])
        ratio = "-"
        if b and row["tool"] != "brevik" and row["wall_s"] > 0:
            ratio = "%.2fx" % (b["wall_s"] / row["wall_s"])
        lines.append("| %s | %s | %.3f | %.3f | %.1f | %s | %s | %s |" % (
            row["task"], row["tool"], row["wall_s"], row["cpu_s"], row["peak_mib"], format_size(row["size"]),
            ratio, "yes" if row["ok"] else "FAILED"))
    lines += ["", "| target | measured | verdict |", "|---|---|---|"]
    lines += ["| %s | %s | %s |" % check for check in checks]
    table = "\n".join(lines) + "\n"
    with open(os.path.join(scratch, "results.md"), "w") as out:
        out.write(table)
    with open(os.path.join(scratch, "results.csv"), "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=["task", "tool", "wall_s", "cpu_s", "peak_mib", "size", "ok"])
        writer.writeheader()
        writer.writerows(rows)
    return table


def cpu_model():
    """The processor's name, as /proc/cpuinfo gives it."""
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown processor"


class Context:
    pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--brevik", required=True, help="path of the brevik command")
    parser.add_argument("--floor", required=True, help="path of the deflate_floor program")
    parser.add_argument("--measure", required=True, help="path of the measure launcher")
    parser.add_argument("--scratch", required=True, help="folder for corpora, archives and results")
    parser.add_argument("--full", action="store_true", help="all corpora, the 1 GiB file, every peer")
    parser.add_argument("--runs", type=int, default=0, help="runs per tool (default 3 quick, 5 full)")
    parser.add_argument("--only", default="", help="comma-separated groups to run: create, extract, list, "
                        "delete, password (default all); extract needs the archives of create")
    parser.add_argument("--corpus", default="", help="comma-separated corpora for create and extract: text, "
                        "tiny, and with --full binary, large; 'mixed' (one 256 MiB file, created only) is "
                        "measured with create unless --corpus leaves it out (default all of the mode)")
    parser.add_argument("--corpora", default="", help="folder holding (or to hold) the corpora, shared between "
                        "scratch folders (default SCRATCH/corpora)")
    parser.add_argument("--baseline", default="", help="another brevik command, measured as 'brevik before' "
                        "beside brevik in every task, to show what a change gained")
    args = parser.parse_args()

    global MEASURE, MEASURE_DIR
    ctx = Context()
    ctx.brevik = os.path.abspath(args.brevik)
    ctx.floor = os.path.abspath(args.floor)
    ctx.full = args.full
    scratch = os.path.abspath(args.scratch)
    corpora_root = os.path.abspath(args.corpora) if args.corpora else os.path.join(scratch, "corpora")
    ctx.work = os.path.join(scratch, "work")
    os.makedirs(corpora_root, exist_ok=True)
    os.makedirs(ctx.work, exist_ok=True)   # every tool clears its own output before each run
    MEASURE = os.path.abspath(args.measure)
    MEASURE_DIR = scratch
    runs = args.runs or (FULL_RUNS if args.full else QUICK_RUNS)
    ctx.baseline = os.path.abspath(args.baseline) if args.baseline else None
    groups = set(g.strip() for g in args.only.split(",") if g.strip()) or set(GROUPS)
    unknown = groups - set(GROUPS)
    if unknown:
        parser.error("unknown group(s): %s" % ", ".join(sorted(unknown)))

    print("making corpora under %s" % corpora_root, flush=True)
    corpora = {"text": make_text_corpus(corpora_root), "tiny": make_tiny_corpus(corpora_root)}
    binary = make_binary_corpus(corpora_root)
    if args.full:
        corpora["binary"] = binary
        large = make_large_corpus(corpora_root)
        if large:
            corpora["large"] = large
        else:
            print("not enough free disk for the 1 GiB corpus; skipped", flush=True)
    if args.corpus:
        wanted = set(c.strip() for c in args.corpus.split(",") if c.strip())
        corpora = {name: path for name, path in corpora.items() if name in wanted}
    many = make_many_entries_archive(corpora_root)
    entry_count = 65535

    corpus_lines = []
    for name, path in list(corpora.items()) + ([("binary", binary)] if "binary" not in corpora else []):
        files, size = corpus_summary(path)
        corpus_lines.append("| %s | %d | %d |" % (name, files, size))

    rows = []
    for name, path in corpora.items():
        if "create" in groups:
            print("create %s ..." % name, flush=True)
            rows += measure(ctx, "create " + name, create_tools(ctx, name, path), runs)
            if args.full:
                print("stored create %s ..." % name, flush=True)
                rows += measure(ctx, "stored create " + name, stored_tools(ctx, name, path), runs)
        if "extract" in groups:
            # Every tool extracts the archive zip -6 made, so all read the same bytes.
            archive = os.path.join(ctx.work, "%s-zip.zip" % name)
            if "create" not in groups:
                remove(archive)
                subprocess.run(["zip", "-q", "-6", "-r", archive, os.path.basename(path)],
                               cwd=os.path.dirname(path), check=True)
            print("extract %s ..." % name, flush=True)
            rows += measure(ctx, "extract " + name, extract_tools(ctx, name, archive), runs)

    if "create" in groups and "text" in corpora:
        print("create text on one core ...", flush=True)
        rows += measure(ctx, "create text, one core", one_core_tools(ctx, "text", corpora["text"]), runs)
    if "create" in groups and (not args.corpus or "mixed" in args.corpus):
        mixed = make_mixed_corpus(corpora_root)
        files, size = corpus_summary(mixed)
        corpus_lines.append("| mixed (text, shared libraries, random) | %d | %d |" % (files, size))
        print("create one 256 MiB file of mixed content ...", flush=True)
        # Three runs in quick mode: each takes some 25 seconds on two cores, and the file is one
        # large piece of work whose times vary little.
        rows += measure(ctx, "create mixed 256 MiB", large_file_tools(ctx, "mixed", mixed),
                        runs if args.full or args.runs else min(runs, 3))

    if "list" in groups:
        print("list %d entries ..." % entry_count, flush=True)
        rows += measure(ctx, "list %d entries" % entry_count, list_tools(ctx, many), runs)
    if "delete" in groups:
        measure_deletes(ctx, binary, runs, rows)
    if "password" in groups and "text" in corpora:
        password_corpus = "text"
        print("password create and extract (%s) ..." % password_corpus, flush=True)
        rows += measure(ctx, "password create " + password_corpus,
                        password_tools(ctx, password_corpus, corpora[password_corpus]), runs)
        rows += measure(ctx, "password extract " + password_corpus,
                        password_extract_tools(ctx, password_corpus), runs)

    checks = verdicts(rows, list(corpora), entry_count)
    machine = "%s (%s), %d cores online, %d usable by this run, Linux %s" % (
        cpu_model(), os.uname().machine, os.cpu_count(), len(os.sched_getaffinity(0)), os.uname().release)
    table = write_reports(scratch, rows, checks, corpus_lines, machine)
    # The tools' archives and trees are of no use after the run, and in a tmpfs they hold memory.
    shutil.rmtree(ctx.work, ignore_errors=True)
    print()
    print(table)
    print("results: %s/results.md and results.csv" % scratch)
    print("corpora kept for the next run in %s (remove the folder to free the space)" % corpora_root)
    return 0


def measure_deletes(ctx, binary, runs, rows):
    binary_archive = os.path.join(ctx.work, "binary-source.zip")
    remove(binary_archive)
    subprocess.run(["zip", "-q", "-6", "-r", binary_archive, os.path.basename(binary)],
                   cwd=os.path.dirname(binary), check=True)
    names = [info.filename for info in zipfile.ZipFile(binary_archive).infolist() if not info.is_dir()]
    print("delete first and last entry of the binary archive (%d entries) ..." % len(names), flush=True)
    rows += measure(ctx, "delete first entry", delete_tools(ctx, binary_archive, names[0], "first"), runs)
    rows += measure(ctx, "delete last entry", delete_tools(ctx, binary_archive, names[-1], "last"), runs)


if __name__ == "__main__":
    sys.exit(main())
