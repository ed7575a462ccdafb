#!/usr/bin/env python3
"""Vornel's benchmarks under Wine: the program against floors that do only the system's part of
the same work, side by side in one Wine session per group. Run through bench/run, which builds
what is needed first. Writes build/bench/results.json and build/bench/results.md and prints the
table."""

import argparse
import json
import math
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(REPO, "build", "bench")
TEMPLATE = os.path.join(OUT, "prefix-template")
VORNEL = os.path.join(REPO, "build", "win64", "vornel.exe")
PROGRAMS = os.path.join(OUT, "programs")
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"

FILES_PER_FOLDER = 50
FOLDERS_PER_GROUP = 10


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def z_path(unix_path):
    """The Windows name of a Linux path on Wine's Z: drive."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def median(values):
    return statistics.median(values)


def growth_per_doubling(t1, t2, x1, x2):
    """How much the time grows when the work doubles, from two sizes."""
    return (t2 / t1) ** (1 / math.log2(x2 / x1))


class Session:
    """One Wine session on a fresh copy of the template prefix: the first process boots it, and
    no second session ever starts on it, so nothing pending is carried out in between."""

    def __init__(self, display=False):
        self.dir = tempfile.mkdtemp(prefix="vornel-bench.", dir=os.environ.get("TMPDIR", "/tmp"))
        self.prefix = os.path.join(self.dir, "prefix")
        self.xvfb = None
        shutil.copytree(TEMPLATE, self.prefix, symlinks=True)
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="ja_JP.UTF-8")
        self.env["PATH"] = "/usr/lib/wine:" + self.env.get("PATH", "")
        self.env.pop("DISPLAY", None)
        if display:
            self._start_display()
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        # The first process boots the prefix; the system processes it starts outlive it and keep
        # its standard handles, so it gets none that anybody waits on.
        subprocess.run([WINE64, "winepath", "-w", "/"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.wininit = os.path.join(self.drive_c, "windows", "WININIT.INI")

    def _start_display(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def wine(self, args, timeout=900):
        result = subprocess.run([WINE64] + args, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        if result.returncode != 0:
            raise RuntimeError("wine64 %s failed: %s" % (args, result.stderr.decode(errors="replace")))
        return result.stdout.decode(errors="replace")

    def unix(self, windows_path):
        assert windows_path.startswith("C:\\")
        return os.path.join(self.drive_c, *windows_path[3:].split("\\"))

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.send_signal(signal.SIGTERM)
            self.xvfb.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def make_tree(session, windows_root, files):
    """FILES empty files with long names, 50 to a folder, 10 folders to a group: tens to hundreds
    of subfolders. Returns every path the request records: files, folders and the root."""
    root = session.unix(windows_root)
    paths = []
    made = set()
    for i in range(files):
        group = "group_%02d" % (i // (FILES_PER_FOLDER * FOLDERS_PER_GROUP))
        sub = "sub_%02d" % ((i // FILES_PER_FOLDER) % FOLDERS_PER_GROUP)
        for folder in (group, group + "\\" + sub):
            if folder not in made:
                made.add(folder)
                os.makedirs(os.path.join(root, *folder.split("\\")), exist_ok=True)
                paths.append(windows_root + "\\" + folder)
        name = "file_%05d_data.txt" % i
        open(os.path.join(root, group, sub, name), "wb").close()
        paths.append("%s\\%s\\%s\\%s" % (windows_root, group, sub, name))
    paths.append(windows_root)
    return paths


def write_lines(session, windows_path, lines):
    with open(session.unix(windows_path), "wb") as f:
        f.write(b"".join(line.encode("ascii") + b"\r\n" for line in lines))


def runs_for(first, runs):
    """Cheap figures get more runs: the machine is shared, and the median steadies with them."""
    if first["s"] < 1.5:
        return max(runs, 9)
    return max(runs, 7) if first["s"] < 5 else runs


def alternate(first_done, runs, program, floor):
    """P F F P P F ...: each side goes first as often as the other. FIRST_DONE is the program's
    run already made."""
    p, f = [first_done], []
    turn = "f"
    while len(p) < runs or len(f) < runs:
        for side in (turn, turn):
            if side == "p" and len(p) < runs:
                p.append(program())
            elif side == "f" and len(f) < runs:
                f.append(floor())
        turn = "p" if turn == "f" else "f"
    return p, f


def parse_run(text):
    words = text.split()
    values = dict(zip(words[0::2], words[1::2]))
    if values.get("exit") != "0":
        raise RuntimeError("run failed: " + text)
    return {
        "s": (int(values["elapsed_us"]) - int(values["prep_us"])) / 1e6,
        "entries": int(values["entries"]),
    }


def bench_nt(sizes, runs):
    log("NT family: scheduling a folder tree from the command line")
    vbench = z_path(os.path.join(PROGRAMS, "vbench.exe"))
    vfloor = z_path(os.path.join(PROGRAMS, "vfloor.exe"))
    rows = []
    with Session() as s:
        for n in sizes:
            tree = "C:\\bench\\t%d" % n
            paths = make_tree(s, tree, n)
            listing = "C:\\bench\\list%d.txt" % n

            def program():
                return parse_run(s.wine([vbench, "run", "nt", "nt", "--", z_path(VORNEL), tree]))

            def floor():
                return parse_run(s.wine([vbench, "run", "nt", "nt", "--", vfloor, "floor-nt", listing]))

            first = program()
            # The floor gets exactly the program's paths, in its order, from the store itself.
            dumped = int(s.wine([vbench, "dump-nt", listing]).strip())
            if dumped != len(paths) or first["entries"] != len(paths):
                raise RuntimeError("N=%d: the program recorded %d, expected %d" % (n, dumped, len(paths)))
            p, f = alternate(first, runs_for(first, runs), program, floor)
            for r in p + f:
                if r["entries"] != len(paths):
                    raise RuntimeError("N=%d: a run recorded %d entries" % (n, r["entries"]))
            walk = [int(s.wine([vbench, "walk", tree]).split()[1]) / 1e6 for _ in range(runs)]
            row = {
                "n": n, "entries": len(paths),
                "program_s": median([r["s"] for r in p]), "floor_s": median([r["s"] for r in f]),
                "walk_s": median(walk),
                "program_runs": [r["s"] for r in p], "floor_runs": [r["s"] for r in f],
            }
            row["ratio"] = row["program_s"] / row["floor_s"]
            row["floor_us_per_entry"] = row["floor_s"] / len(paths) * 1e6
            log("  N=%-6d program %.3f s  floor %.3f s  ratio %.3f" %
                (n, row["program_s"], row["floor_s"], row["ratio"]))
            rows.append(row)
    return rows


def seed_wininit(size):
    """An existing WININIT.INI of exactly SIZE bytes: a [boot] section and a [rename] section of
    older entries, the new entries going at the end of the file."""
    if size == 0:
        return b""
    head = b"[boot]\r\nshell=Explorer.exe\r\n[rename]\r\n"
    lines = [head]
    total = len(head)
    i = 0
    while True:
        line = b"NUL=C:\\OLDAPP\\DATA%04d\\FILE%04d.TMP\r\n" % (i // 100, i % 10000)
        if total + len(line) > size:
            break
        lines.append(line)
        total += len(line)
        i += 1
    rest = size - total
    if rest:
        # Pad the last line to the exact size; a comment line of the section.
        lines.append(b";" + b"-" * max(rest - 3, 0) + b"\r\n" if rest >= 3 else b"\r\n"[:rest])
    data = b"".join(lines)
    assert len(data) == size, (len(data), size)
    return data


def bench_9x(sizes, seeds, runs, memory_files):
    log("9x family: one request into an existing WININIT.INI")
    vbench = z_path(os.path.join(PROGRAMS, "vbench.exe"))
    vfloor = z_path(os.path.join(PROGRAMS, "vfloor.exe"))
    rows, short_rows = [], []
    memory = None
    with Session() as s:
        s.wine(["reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"])
        os.makedirs(os.path.join(s.drive_c, "bench"), exist_ok=True)
        for size in seeds:
            with open(s.unix("C:\\bench\\seed%d.ini" % size), "wb") as f:
                f.write(seed_wininit(size))
        for n in sizes:
            tree = "C:\\bench\\t%d" % n
            paths = make_tree(s, tree, n)
            long_list = "C:\\bench\\long%d.txt" % n
            write_lines(s, long_list, paths)
            for size in seeds:
                seed = "C:\\bench\\seed%d.ini" % size
                result = "C:\\bench\\result%d_%d.ini" % (n, size)
                old = seed_wininit(size).count(b"\nNUL=")

                def program():
                    return parse_run(s.wine([vbench, "run", "9x:" + seed, "9x", "--", z_path(VORNEL), tree]))

                def floor():
                    return parse_run(s.wine([vbench, "run", "9x:" + seed, "9x", "--", vfloor, "floor-9x", result]))

                first = program()
                if first["entries"] != old + len(paths):
                    raise RuntimeError("N=%d S=%d: %d entries, expected %d" %
                                       (n, size, first["entries"], old + len(paths)))
                shutil.copyfile(s.wininit, s.unix(result))
                p, f = alternate(first, runs_for(first, runs), program, floor)
                with open(s.wininit, "rb") as a, open(s.unix(result), "rb") as b:
                    if a.read() != b.read():
                        raise RuntimeError("the floor wrote other bytes than the program")
                row = {
                    "n": n, "s": size, "entries": len(paths),
                    "program_s": median([r["s"] for r in p]), "floor_s": median([r["s"] for r in f]),
                    "program_runs": [r["s"] for r in p], "floor_runs": [r["s"] for r in f],
                }
                row["ratio"] = row["program_s"] / row["floor_s"]
                log("  N=%-6d S=%-8d program %.3f s  floor %.3f s  ratio %.3f" %
                    (n, size, row["program_s"], row["floor_s"], row["ratio"]))
                rows.append(row)
            # GetShortPathNameA for the same paths: the part of the system's work that the floor
            # leaves out, timed inside one process.
            short = []
            for _ in range(runs):
                words = s.wine([vbench, "short", long_list]).split()
                if words[5] != "0":
                    raise RuntimeError("GetShortPathNameA failed for some paths")
                short.append(int(words[1]) / 1e6)
            short_rows.append({"n": n, "entries": len(paths), "short_s": median(short),
                               "short_runs": short})
            log("  N=%-6d GetShortPathNameA %.3f s" % (n, median(short)))
        if memory_files:
            memory = bench_memory(s, memory_files, runs)
    return rows, short_rows, memory


def bench_memory(s, files, runs):
    """The request runs in a harness built from the program's own sources, which reads its peak
    working set and counts what goes through operator new; each run is a process of its own."""
    log("9x family: peak memory of one request of %d files" % files)
    memory = z_path(os.path.join(PROGRAMS, "memory.exe"))
    tree = "C:\\bench\\m%d" % files
    paths = make_tree(s, tree, files)
    empty = "C:\\bench\\empty"
    os.makedirs(s.unix(empty), exist_ok=True)
    big, small = [], []
    for i in range(runs):
        for which in ((0, 1) if i % 2 == 0 else (1, 0)):
            w = s.wine([memory, tree if which else empty]).split()
            values = {k: int(v) for k, v in zip(w[0::2], w[1::2])}
            (big if which else small).append(values)
            if which:
                with open(s.wininit, "rb") as f:
                    written = f.read().count(b"\nNUL=")
                if written != len(paths):
                    raise RuntimeError("memory run wrote %d entries" % written)
    path_bytes = statistics.mean(len(p) for p in paths)
    row = {
        "files": files, "entries": len(paths), "path_bytes": path_bytes,
        "peak_ws": median([v["peak_ws"] for v in big]),
        "empty_peak_ws": median([v["peak_ws"] for v in small]),
        "new_peak": median([v["new_peak"] for v in big]),
        "empty_new_peak": median([v["new_peak"] for v in small]),
        "new_blocks": median([v["new_blocks"] for v in big]),
        "runs": big, "empty_runs": small,
    }
    row["bytes_per_entry"] = (row["peak_ws"] - row["empty_peak_ws"]) / len(paths)
    row["new_bytes_per_entry"] = (row["new_peak"] - row["empty_new_peak"]) / len(paths)
    row["limit"] = 3 * path_bytes
    log("  %d entries: %.0f bytes per entry (limit %.0f), %.0f through operator new" %
        (len(paths), row["bytes_per_entry"], row["limit"], row["new_bytes_per_entry"]))
    return row


def bench_refresh(sizes, runs):
    log("Refresh of the dialog's list (NT family)")
    refresh = z_path(os.path.join(PROGRAMS, "refresh.exe"))
    rows = []
    with Session(display=True) as s:
        for n in sizes:
            reps = []
            # A small refresh takes milliseconds: many repetitions steady its median.
            count = runs * 4 if n <= 1000 else runs
            for line in s.wine([refresh, str(n), str(count + 1)]).splitlines():
                w = line.split()
                reps.append({"open": (int(w[1]), int(w[2])), "drop": (int(w[4]), int(w[5])),
                             "empty": (int(w[7]), int(w[8]))})
            reps = reps[1:]  # the first repetition warms the heap and the list box up
            row = {"n": n}
            for case in ("open", "drop", "empty"):
                row[case + "_program_s"] = median([r[case][0] for r in reps]) / 1e6
                row[case + "_floor_s"] = median([r[case][1] for r in reps]) / 1e6
            row["open_ratio"] = row["open_program_s"] / row["open_floor_s"]
            row["drop_ratio"] = row["drop_program_s"] / row["drop_floor_s"]
            row["runs"] = reps
            log("  N=%-6d open %.4f/%.4f s (%.3f)  drop %.4f/%.4f s (%.3f)" %
                (n, row["open_program_s"], row["open_floor_s"], row["open_ratio"],
                 row["drop_program_s"], row["drop_floor_s"], row["drop_ratio"]))
            rows.append(row)
    return rows


def verdict(ok):
    return "ok" if ok else "MISSED"


def render(results):
    out = []
    nt = results.get("nt") or []
    if nt:
        out += ["### 1. NT family: folder tree from the command line (target: ratio <= 1.10)", "",
                "| N files | entries | program s | floor s | ratio | target | floor us/entry | walk calls s |",
                "|---:|---:|---:|---:|---:|:--|---:|---:|"]
        for r in nt:
            out.append("| %d | %d | %.3f | %.3f | %.3f | %s | %.0f | %.3f |" % (
                r["n"], r["entries"], r["program_s"], r["floor_s"], r["ratio"],
                verdict(r["ratio"] <= 1.10), r["floor_us_per_entry"], r["walk_s"]))
        if len(nt) >= 2:
            a, b = nt[0], nt[-1]
            out += ["", "Floor growth from %d to %d entries: x%.1f for x%.1f the entries "
                    "(x%.2f per doubling: the store is rewritten on every call)." % (
                        a["entries"], b["entries"], b["floor_s"] / a["floor_s"],
                        b["entries"] / a["entries"],
                        growth_per_doubling(a["floor_s"], b["floor_s"], a["entries"], b["entries"]))]
        out.append("")
    w9 = results.get("9x") or []
    if w9:
        short = {r["n"]: r for r in results.get("9x_short") or []}
        out += ["### 2. 9x family: one request into an existing WININIT.INI (target: ratio <= 1.20)", "",
                "| N files | S bytes | program s | floor s | ratio | target | GetShortPathNameA s | "
                "ratio to floor + GetShortPathNameA |",
                "|---:|---:|---:|---:|---:|:--|---:|---:|"]
        for r in w9:
            sp = short[r["n"]]["short_s"]
            out.append("| %d | %d | %.3f | %.3f | %.2f | %s | %.3f | %.3f |" % (
                r["n"], r["s"], r["program_s"], r["floor_s"], r["ratio"], verdict(r["ratio"] <= 1.20),
                sp, r["program_s"] / (r["floor_s"] + sp)))
        out += ["", "Growth per doubling of the work (target: <= 2.30, that is 2 within 15 %):", "",
                "| what | from | to | program | floor |", "|:--|:--|:--|---:|---:|"]
        by = {(r["n"], r["s"]): r for r in w9}
        ns = sorted({r["n"] for r in w9})
        ss = sorted({r["s"] for r in w9})
        for size in ss:
            for n1, n2 in zip(ns, ns[1:]):
                a, b = by[(n1, size)], by[(n2, size)]
                gp = growth_per_doubling(a["program_s"], b["program_s"], a["entries"], b["entries"])
                gf = growth_per_doubling(a["floor_s"], b["floor_s"], a["entries"], b["entries"])
                out.append("| N, S=%d | %d | %d | %.2f %s | %.2f |" % (size, n1, n2, gp, verdict(gp <= 2.30), gf))
        for n in ns:
            nonzero = [x for x in ss if x > 0]
            for s1, s2 in zip(nonzero, nonzero[1:]):
                a, b = by[(n, s1)], by[(n, s2)]
                gp = growth_per_doubling(a["program_s"], b["program_s"], s1, s2)
                gf = growth_per_doubling(a["floor_s"], b["floor_s"], s1, s2)
                out.append("| S, N=%d | %d | %d | %.2f %s | %.2f |" % (n, s1, s2, gp, verdict(gp <= 2.30), gf))
        out.append("")
        if short:
            out += ["GetShortPathNameA alone for the same paths, inside one process (the program "
                    "must call it once per entry):", "",
                    "| N files | entries | GetShortPathNameA s | us per call |",
                    "|---:|---:|---:|---:|"]
            for r in sorted(short.values(), key=lambda r: r["n"]):
                out.append("| %d | %d | %.3f | %.0f |" % (
                    r["n"], r["entries"], r["short_s"], r["short_s"] / r["entries"] * 1e6))
            out.append("")
    rf = results.get("refresh") or []
    if rf:
        out += ["### 3. Refresh of the dialog's list, NT family (target: ratio <= 1.10)", "",
                "| N pending | case | program s | floor s | ratio | target |",
                "|---:|:--|---:|---:|---:|:--|"]
        for r in rf:
            out.append("| %d | dialog opens (list empty) | %.4f | %.4f | %.3f | %s |" % (
                r["n"], r["open_program_s"], r["open_floor_s"], r["open_ratio"], verdict(r["open_ratio"] <= 1.10)))
            out.append("| %d | after a drop (list holds N) | %.4f | %.4f | %.3f | %s |" % (
                r["n"], r["drop_program_s"], r["drop_floor_s"], r["drop_ratio"], verdict(r["drop_ratio"] <= 1.10)))
            out.append("| %d | of which: emptying with LB_DELETESTRING | %.4f | %.4f | | |" % (
                r["n"], r["empty_program_s"], r["empty_floor_s"]))
        out.append("")
    m = results.get("memory")
    if m:
        out += ["### 4. Peak memory of one request, 9x family (target: <= 3 x the bytes of its paths)", "",
                "| entries | peak working set KiB | empty folder's KiB | bytes per entry | mean path bytes "
                "| limit (3x) | target | through operator new per entry | blocks per entry |",
                "|---:|---:|---:|---:|---:|---:|:--|---:|---:|",
                "| %d | %d | %d | %.0f | %.1f | %.0f | %s | %.0f | %.2f |" % (
                    m["entries"], m["peak_ws"] // 1024, m["empty_peak_ws"] // 1024,
                    m["bytes_per_entry"], m["path_bytes"], m["limit"],
                    verdict(m["bytes_per_entry"] <= m["limit"]), m["new_bytes_per_entry"],
                    m["new_blocks"] / m["entries"]), ""]
    host = results.get("host")
    if host:
        out += ["### 5. Host (Google Benchmark, stand-in): fitted complexity", "",
                "| benchmark | sizes | Complexity() fit | coefficient (CPU) | its RMS | RMS of an O(N) fit "
                "| log-log slope of medians | O(n) |",
                "|:--|:--|:--|---:|---:|---:|---:|:--|"]
        for h in host:
            out.append("| %s | %s | O(%s) | %s | %s | %.0f %% | %.2f | %s |" % (
                h["name"], h["sizes"], h["big_o"], h["coefficient"], h["rms"], 100 * h["rms_n"],
                h["slope"], verdict(h["slope"] <= 1.15)))
        out.append("")
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quick", action="store_true", help="fewer and smaller sizes")
    parser.add_argument("--only", action="append", choices=["nt", "9x", "refresh", "memory"],
                        help="run only these groups (repeatable)")
    parser.add_argument("--runs", type=int, default=5, help="runs per figure (at least 5)")
    parser.add_argument("--host-json", help="Google Benchmark JSON output of bench/host to include")
    parser.add_argument("--host-only", action="store_true", help="no Wine groups, only the table")
    args = parser.parse_args()
    groups = set() if args.host_only else set(args.only or ["nt", "9x", "refresh", "memory"])
    runs = max(args.runs, 5)

    results = {"quick": args.quick, "machine": machine()}
    started = time.time()
    if "nt" in groups:
        results["nt"] = bench_nt([1000, 3000] if args.quick else [1000, 3000, 10000], runs)
    if "9x" in groups or "memory" in groups:
        sizes = ([1000, 2000] if args.quick else [1000, 10000]) if "9x" in groups else []
        seeds = [0, 65536, 1048576] if "9x" in groups else []
        memory_files = (10000 if args.quick else 50000) if "memory" in groups else 0
        results["9x"], results["9x_short"], results["memory"] = bench_9x(
            sizes, seeds, runs, memory_files)
    if "refresh" in groups:
        results["refresh"] = bench_refresh([1000, 10000], runs * 2 + 1)
    if args.host_json and os.path.exists(args.host_json):
        results["host"] = host_complexity(args.host_json)
    results["wall_s"] = time.time() - started

    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    table = render(results)
    with open(os.path.join(OUT, "results.md"), "w") as f:
        f.write(table + "\n")
    print(table)
    print("(%s; Wine part took %.0f s; results in %s)" % (
        results["machine"]["summary"], results["wall_s"], os.path.join(OUT, "results.md")))


def host_complexity(path):
    """Google Benchmark's own fit (Complexity(), over every repetition), and as a check the
    slope of log(time) against log(N) over the per-size medians of the CPU time (1: linear)."""
    with open(path) as f:
        data = json.load(f)
    rows = []
    for b in data.get("benchmarks", []):
        if b.get("aggregate_name") != "BigO":
            continue
        base = b["name"][:-len("_BigO")]
        name = base.split("/")[0]
        rms = next((x for x in data["benchmarks"] if x["name"] == base + "_RMS"), {})
        medians = []
        for x in data["benchmarks"]:
            parts = x["name"].split("/")
            if parts[0] == name and x.get("aggregate_name") == "median" and parts[1].isdigit():
                medians.append((int(parts[1]), x["cpu_time"]))
        slope = float("nan")
        if len(medians) >= 2:
            xs = [math.log(n) for n, _ in medians]
            ys = [math.log(t) for _, t in medians]
            mx, my = statistics.mean(xs), statistics.mean(ys)
            slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        # Google Benchmark's RMS for an O(N) fit through the origin, over every repetition.
        runs = [(int(x["name"].split("/")[1]), x["cpu_time"]) for x in data["benchmarks"]
                if x.get("run_type") == "iteration" and x["name"].split("/")[0] == name]
        rms_n = float("nan")
        if runs:
            c = sum(t * n for n, t in runs) / sum(n * n for n, _ in runs)
            mean = statistics.mean(t for _, t in runs)
            rms_n = math.sqrt(sum((t - c * n) ** 2 for n, t in runs) / len(runs)) / mean
        rows.append({"name": name, "big_o": b.get("big_o"), "rms_n": rms_n,
                     "coefficient": "%.3g %s" % (b.get("cpu_coefficient", 0), b.get("time_unit", "")),
                     "rms": "%.0f %%" % (100 * rms.get("rms", 0)), "slope": slope,
                     "sizes": "%d..%d" % (medians[0][0], medians[-1][0]) if medians else ""})
    return rows


def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    wine = subprocess.run([WINE64, "--version"], stdout=subprocess.PIPE).stdout.decode().strip()
    cores = os.cpu_count()
    return {"cpu": model, "nproc": cores, "wine": wine,
            "summary": "%d cores, %s, %s" % (cores, model, wine)}


if __name__ == "__main__":
    main()
