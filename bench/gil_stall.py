"""How long a game's Python threads stall while the module inspects.

Builds a busy machine scaled to this one: processes running programs copied
outside /usr (which the heavy sweep hashes) and a "game" child with many
mapped modules (copies of shared libraries loaded with ctypes), thousands of
mappings and dozens of threads. Then a ticker thread wakes every 1 ms while
the main thread runs the first (cold caches) and warm heavy inspect_process
and inspect_process_modules on the game; the longest gap between ticks beyond
1 ms is the stall.

    python3.13 bench/gil_stall.py build/linux/python [other module dirs ...]

Each directory holds an anticheat module. All are loaded into one fresh
interpreter, each with its own caches, and measured against the same fixture;
their warm calls alternate, so a before/after pair shares the machine's load
alike.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

GAME = r"""
import ctypes, mmap, os, sys, threading, time
libs = sys.argv[1:]
for path in libs:
    try:
        ctypes.CDLL(path)
    except OSError:
        pass
# Thousands of mappings: alternate protections so neighbours never merge.
libc = ctypes.CDLL(None, use_errno=True)
libc.mmap.restype = ctypes.c_void_p
libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
libc.mprotect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]
page, count = 4096, %(mappings)d
base = libc.mmap(None, page * count, 3, 0x22, -1, 0)
for i in range(0, count, 2):
    libc.mprotect(base + i * page, page, 1)
for _ in range(%(threads)d):
    threading.Thread(target=time.sleep, args=(3600,), daemon=True).start()
print("ready", flush=True)
time.sleep(3600)
"""

MEASURE = r"""
import importlib, json, sys, threading, time
# Every build in this one interpreter, each its own extension (another file)
# with its own caches, so warm calls can alternate between builds and share
# the machine's moment alike.
builds = []
for folder in json.loads(sys.argv[1]):
    sys.modules.pop("anticheat", None)
    sys.path.insert(0, folder)
    builds.append(importlib.import_module("anticheat"))
    sys.path.pop(0)
pid, game_dir, warm_runs, with_ticker = int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5] == "ticker"
state = {"stop": not with_ticker, "worst": 0.0}

def ticker():
    last = time.perf_counter()
    while not state["stop"]:
        time.sleep(0.001)
        now = time.perf_counter()
        state["worst"] = max(state["worst"], now - last - 0.001)
        last = now

t = threading.Thread(target=ticker, daemon=True)
t.start()
time.sleep(0.05)

def measure(call):
    state["worst"] = 0.0
    start = time.perf_counter()
    call()
    wall = time.perf_counter() - start
    time.sleep(0.005)  # let the ticker see the end of the call
    return wall, state["worst"]

out = [{} for _ in builds]
if with_ticker:  # the control: the scheduler's own delays while the main thread only sleeps
    for row in out:
        row["idle (control)"] = measure(lambda: time.sleep(0.3))
for name in ("inspect_process", "inspect_process_modules"):
    calls = [lambda m=m: getattr(m, name)(pid, game_dir, "heavy") for m in builds]
    for row, call in zip(out, calls):
        row[name + " first"] = measure(call)
    walls, stalls = [[] for _ in builds], [[] for _ in builds]
    for _ in range(warm_runs):
        for i, call in enumerate(calls):
            wall, stall = measure(call)
            walls[i].append(wall)
            stalls[i].append(stall)
    for row, w, s in zip(out, walls, stalls):
        w.sort()
        row[name + " warm"] = (w[len(w) // 2], max(s))
state["stop"] = True
print(json.dumps(out))
"""


def copy_programs(root, count, pad_bytes):
    """Programs that run (copies of sleep), each padded to a distinct size and digest."""
    paths = []
    for i in range(count):
        path = os.path.join(root, "tool%03d" % i)
        shutil.copyfile("/usr/bin/sleep", path)
        with open(path, "ab") as f:
            f.write(os.urandom(64) * (pad_bytes // 64))
        os.chmod(path, 0o755)
        paths.append(path)
    return paths


def copy_libraries(root, limit):
    """Copies of shared libraries, first in name order."""
    found = []
    for folder in ("/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu"):
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            if len(found) >= limit:
                break
            source = os.path.join(folder, name)
            if ".so" not in name or not os.path.isfile(source) or os.path.islink(source):
                continue
            if any(bad in name for bad in ("libc.so", "ld-linux", "libpthread", "libdl", "asan", "tsan", "ubsan",
                                           "lsan", "hwasan", "libgcc_s", "libstdc++", "libm.so")):
                continue
            target = os.path.join(root, name)
            shutil.copyfile(source, target)
            found.append(target)
    return found


VET = r"""
import ctypes, sys
for path in sys.argv[1:]:
    print(path, flush=True)
    try:
        ctypes.CDLL(path)
    except OSError:
        pass
    print("ok", flush=True)
"""


def loadable(libraries):
    """The libraries that load in one process together: a library whose
    constructor kills the process is dropped, and loading resumes after it."""
    good, pending = [], list(libraries)
    while pending:
        child = subprocess.run([sys.executable, "-c", VET] + pending, capture_output=True, text=True)
        lines = child.stdout.splitlines()
        done = [lines[i] for i in range(0, len(lines) - 1, 2) if lines[i + 1] == "ok"]
        good += done
        if child.returncode == 0:
            break
        pending = pending[len(done) + 1:]  # the one that was loading when the process died is dropped
    return good


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("module_dirs", nargs="+")
    parser.add_argument("--processes", type=int, default=40)
    parser.add_argument("--program-mib", type=int, default=4)
    parser.add_argument("--libraries", type=int, default=150)
    parser.add_argument("--mappings", type=int, default=4900)
    parser.add_argument("--threads", type=int, default=60)
    parser.add_argument("--warm-runs", type=int, default=7)
    parser.add_argument("--repeats", type=int, default=3, help="fresh interpreters per figure (median)")
    args = parser.parse_args()

    root = tempfile.mkdtemp(prefix="anticheat_stall_")
    children = []
    try:
        programs = copy_programs(root, args.processes, args.program_mib << 20)
        children += [subprocess.Popen([p, "3600"]) for p in programs]
        os.makedirs(os.path.join(root, "game"))
        libraries = loadable(copy_libraries(os.path.join(root, "game"), args.libraries))
        game = subprocess.Popen([sys.executable, "-c", GAME % {"mappings": args.mappings, "threads": args.threads}]
                                + libraries, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        children.append(game)
        assert game.stdout.readline().strip() == "ready"
        with open("/proc/%d/maps" % game.pid) as f:
            maps = f.read().splitlines()
        mapped = {line.split(None, 5)[5] for line in maps if len(line.split(None, 5)) == 6 and "/game/" in line}
        with open("/proc/%d/status" % game.pid) as f:
            threads = next(line.split()[1] for line in f if line.startswith("Threads:"))
        print("fixture: %d programs outside /usr (%d MiB), game with %d copied modules loaded, %d mappings, %s threads"
              % (len(programs), len(programs) * args.program_mib, len(mapped), len(maps), threads))
        for path in programs + libraries:  # the page cache is warm for every build alike
            with open(path, "rb") as f:
                while f.read(1 << 20):
                    pass
        os.sync()  # the copies' writeback would otherwise compete with the first calls

        # Once with the ticker and once without it (the call's own wall
        # time, no thread competing), each in a fresh interpreter.
        # A first call happens once per interpreter, so each figure is the
        # median over --repeats interpreters: one late tick of the scheduler
        # does not make the figure.
        rows, quiet = {}, {}
        for mode, table in (("ticker", rows), ("none", quiet)):
            runs = []
            for _ in range(args.repeats):
                out = subprocess.run([sys.executable, "-c", MEASURE, json.dumps(args.module_dirs), str(game.pid),
                                      os.path.join(root, "game"), str(args.warm_runs), mode],
                                     check=True, capture_output=True, text=True).stdout
                runs.append(json.loads(out))
            for i, module_dir in enumerate(args.module_dirs):
                table[module_dir] = {name: [statistics.median(run[i][name][k] for run in runs) for k in (0, 1)]
                                     for name in runs[0][i]}
        names = list(next(iter(rows.values())).keys())
        print("%-30s %-28s %14s %12s %18s" % ("call", "module", "wall ms", "stall ms", "wall ms no ticker"))
        for name in names:
            for module_dir in args.module_dirs:
                wall, stall = rows[module_dir][name]
                alone = quiet[module_dir].get(name, (float("nan"), 0))[0]
                print("%-30s %-28s %14.1f %12.1f %18.1f" % (name, module_dir[-28:], wall * 1e3, stall * 1e3,
                                                            alone * 1e3))
    finally:
        for child in children:
            child.kill()
            child.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
