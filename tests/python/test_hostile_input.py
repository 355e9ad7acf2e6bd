"""Hostile input on live processes: a cheat controls file names, file sizes,
its own process and its memory. Every call runs in a fresh interpreter under a
time limit and must return, with strictly valid UTF-8 and the status the case
calls for."""
import ctypes
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TESTDATA = os.path.join(os.path.dirname(os.path.dirname(HERE)), "testdata")
CHEAT_MODULE = os.path.join(TESTDATA, "known-cheat-test-module.dll")
CHEAT_PROGRAM = os.path.join(TESTDATA, "known-cheat-test-program")
SPARSE_SIZE = 32 << 30
LIMIT = 120  # seconds for one call, heavy sweeps of a busy machine included

RUNNER = r"""
import json, sys
import anticheat
name, args = json.loads(sys.argv[1])
try:
    result = getattr(anticheat, name)(*args)
except BaseException as e:
    print(json.dumps({"error": "%s: %s" % (type(e).__name__, str(e)[:300])}))
    sys.exit(0)
for record in (result if isinstance(result, list) else [result] if isinstance(result, dict) else []):
    for key, value in record.items():
        assert value.encode("utf-8", "strict").decode("utf-8", "strict") == value, key
print(json.dumps({"result": result}))
"""


def call(name, *args, timeout=LIMIT):
    """The call's result from a fresh interpreter; fails on a raise or when the limit passes."""
    try:
        out = subprocess.run([sys.executable, "-c", RUNNER, json.dumps([name, list(args)])],
                             capture_output=True, timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        raise AssertionError("%s%r did not return within %d s" % (name, args, timeout)) from None
    lines = out.stdout.decode("utf-8", "replace").strip().splitlines()
    if out.returncode != 0 or not lines:
        raise AssertionError("%s%r ended with %d: %s" % (name, args, out.returncode, out.stderr.decode()[-800:]))
    answer = json.loads(lines[-1])
    if "error" in answer:
        raise AssertionError("%s%r raised %s" % (name, args, answer["error"]))
    return answer["result"]


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


class Target:
    """A Python child running `script`; it prints its answer line, then waits until stopped."""

    def __init__(self, script, *argv, executable=None):
        self.proc = subprocess.Popen([executable or sys.executable, "-c", script, *argv],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.answer = self.proc.stdout.readline().decode().strip()
        self.pid = self.proc.pid

    def stop(self):
        self.proc.kill()
        self.proc.wait()
        self.proc.stdin.close()
        self.proc.stdout.close()


# The start of a target script that maps memory of its own.
LIBC = r"""
import ctypes, os, sys
libc = ctypes.CDLL(None, use_errno=True)
libc.mmap.restype = ctypes.c_void_p
libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
"""

# Maps each file named (hex of its bytes) executable, then waits.
MAPPER = r"""
import mmap, os, sys
keep = []
for name in sys.argv[1:]:
    fd = os.open(bytes.fromhex(name), os.O_RDONLY)
    keep.append(mmap.mmap(fd, 0, mmap.MAP_PRIVATE, mmap.PROT_READ | mmap.PROT_EXEC))
    os.close(fd)
print("ready", flush=True)
sys.stdin.read()
"""


def spawn_program(path, *argv):
    """Runs a program that only waits (the known-cheat test program or a copy)."""
    proc = subprocess.Popen([path, *argv], stdin=subprocess.DEVNULL)
    for _ in range(200):
        try:
            if os.readlink(b"/proc/%d/exe" % proc.pid).startswith(os.path.dirname(os.fsencode(path))):
                break
        except OSError:
            pass
        time.sleep(0.01)
    return proc


def by_basename(records, name):
    found = [r for r in records if r["basename"] == name]
    if len(found) != 1:
        raise AssertionError("no single record for %r among %r" % (name, [r["basename"] for r in records]))
    return found[0]


@unittest.skipUnless(sys.platform.startswith("linux"), "live hostile processes are built on Linux")
class HostileInput(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="hostile_")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.root = os.geteuid() == 0

    def place(self, folder, name, source=CHEAT_MODULE):
        folder = os.path.join(os.fsencode(self.dir), folder)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        shutil.copyfile(source, path)
        os.chmod(path, 0o755)
        return path

    def target(self, script, *argv):
        t = Target(script, *argv)
        self.addCleanup(t.stop)
        return t

    def mapper(self, *paths):
        t = self.target(MAPPER, *[p.hex() for p in paths])
        self.assertEqual(t.answer, "ready")
        return t

    def program(self, path, *argv):
        proc = spawn_program(path, *argv)
        self.addCleanup(lambda: (proc.kill(), proc.wait()))
        return proc

    def assert_examined(self, pid, modules_level):
        """Found, memory walked, no hijack on a mere oddity, modules listed; the heavy record comes back."""
        record = call("inspect_process", pid, "", "heavy")
        self.assertEqual((record["processFound"], record["memoryScanStatus"]), ("1", "ok"))
        self.assertIs(call("detect_thread_hijack", pid), False)
        self.assertTrue(call("inspect_process_modules", pid, "", modules_level))
        return record

    # ---- names the file system hands back

    def test_module_names_that_are_no_file_any_more(self):
        """Deleted, re-pointed, newline and code-page names: the real bytes are still read."""
        cases = {  # basename as the caller sees it -> path of the mapped file
            "plain.so": self.place(b"plain", b"plain.so"),
            "new\nline.so": self.place(b"nl", b"new\nline.so"),
            "\u00ff\u00fe.so": self.place(b"\xff\xfe", b"\xff\xfe.so"),
            "caf\u00e9.so": self.place(b"cp1252", b"caf\xe9.so"),
            "pagemap.so (deleted)": self.place(b"pagemap", b"pagemap.so"),
            "loop.so (deleted)": self.place(b"loop", b"loop.so"),
            "fifo.so (deleted)": self.place(b"fifo", b"fifo.so"),
            "dir.so (deleted)": self.place(b"dir", b"dir.so"),
        }
        makers = {"pagemap": lambda p: os.symlink(b"/proc/self/pagemap", p), "loop": lambda p: os.symlink(p, p),
                  "fifo": os.mkfifo, "dir": os.mkdir}
        target = self.mapper(*cases.values())
        for shown, path in cases.items():  # the name left behind now leads elsewhere
            if not shown.endswith(" (deleted)"):
                continue
            os.unlink(path)
            makers[shown.split(".")[0]](path + b" (deleted)")
        records = call("inspect_process_modules", target.pid, "", "medium", timeout=60)
        digest = md5_of(CHEAT_MODULE)
        for shown in cases:
            with self.subTest(module=shown):
                r = by_basename(records, shown)
                if self.root or not shown.endswith(" (deleted)"):
                    # Through the mapping: the real bytes, so the known cheat is seen.
                    self.assertEqual((r["hashStatus"], r["md5"], r["knownCheatHashMatch"]), ("hashed", digest, "1"))
                else:  # without map_files access the name is all there is, and it leads to no real file
                    self.assertEqual((r["hashStatus"], r["md5"]), ("hash_error", ""))

    def test_names_that_are_not_utf8(self):
        """Overlong, surrogate, above-U+10FFFF and invalid lead bytes in a module, an image and a flagged program."""
        sleep = shutil.which("sleep")
        for bad in (b"\xc0\x80", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xf5\x80\x80\x80"):
            with self.subTest(folder=bad.hex()):
                mapper = self.mapper(self.place(b"m" + bad, b"x" + bad + b".so"))
                image = self.program(self.place(b"exe" + bad, b"sleep" + bad, source=sleep), "600")
                flagged = self.program(self.place(b"cheat" + bad, b"known-cheat-test-program", CHEAT_PROGRAM))
                self.assertIn("hashed", [r["hashStatus"] for r in call("inspect_process_modules", mapper.pid, "", "medium")])
                self.assertTrue(call("inspect_process_modules", image.pid, "", "medium"))
                for level in ("cheap", "medium", "heavy"):
                    self.assertEqual(call("inspect_process", image.pid, "", level)["processFound"], "1")
                self.assertEqual(call("detect_cheat_process")["detected"], "1")
                for proc in (flagged, image):
                    proc.kill()
                    proc.wait()
                mapper.stop()

    # ---- sizes and contents of files

    def test_growing_module_file(self):
        path = self.place(b"grow", b"grow.so")
        target = self.mapper(path)
        stop = threading.Event()

        def grow():  # sparse growth far faster than any digest: endless to a reader, no disk used
            with open(path, "r+b") as f:
                size = os.path.getsize(path)
                while not stop.is_set() and size < 4 << 40:
                    size += 64 << 20
                    f.truncate(size)
                    time.sleep(0.001)

        grower = threading.Thread(target=grow)
        grower.start()
        try:
            records = call("inspect_process_modules", target.pid, "", "medium", timeout=60)
        finally:
            stop.set()
            grower.join()
        self.assertTrue(by_basename(records, "grow.so")["hashStatus"])

    def sparse(self, name, source):
        path = self.place(b"sparse", name, source)
        os.truncate(path, SPARSE_SIZE)  # holes: 32 GiB to a reader, a few blocks on disk
        self.addCleanup(lambda: os.path.exists(path) and os.unlink(path))
        return path

    def test_sparse_32gib_module_and_program(self):
        module = self.sparse(b"huge.so", CHEAT_MODULE)
        target = self.mapper(module)
        r = by_basename(call("inspect_process_modules", target.pid, "", "medium", timeout=60), "huge.so")
        self.assertEqual((r["size"], r["md5"]), (str(SPARSE_SIZE), ""), "never a digest of part of a file")
        self.assertNotEqual(r["hashStatus"], "hashed")
        self.program(self.sparse(b"known-cheat-test-program", CHEAT_PROGRAM))
        for level in ("medium", "heavy"):
            self.assertEqual(call("inspect_process", os.getpid(), "", level)["processFound"], "1")

    def test_failure_to_open_is_not_remembered(self):
        """One interpreter, two inspections: a module unreadable at first is fingerprinted once readable."""
        if not self.root:
            self.skipTest("needs root to run the inspection as another user")
        path = self.place(b"locked", b"locked.so")
        os.chmod(os.path.dirname(path), 0o755)
        os.chmod(self.dir, 0o755)
        script = r"""
import mmap, os, sys, anticheat
fd = os.open(sys.argv[1], os.O_RDONLY)
m = mmap.mmap(fd, 0, mmap.MAP_PRIVATE, mmap.PROT_READ | mmap.PROT_EXEC)
os.close(fd)
os.setgid(65534); os.setuid(65534)  # no map_files access: the name is read
print("mapped", flush=True)
sys.stdin.readline()
def status():
    for r in anticheat.inspect_process_modules(os.getpid(), "", "medium"):
        if r["basename"] == "locked.so":
            return r["hashStatus"] + "/" + r["peFingerprintStatus"]
print(status(), flush=True)
sys.stdin.readline()
print(status(), flush=True)
"""
        proc = subprocess.Popen([sys.executable, "-c", script, path], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(proc.kill)
        self.assertEqual(proc.stdout.readline().strip(), b"mapped")
        os.chmod(path, 0)
        proc.stdin.write(b"go\n")
        proc.stdin.flush()
        try:
            first = proc.stdout.readline().decode().strip()
        finally:
            os.chmod(path, 0o644)
        proc.stdin.write(b"again\n")
        proc.stdin.flush()
        second = proc.stdout.readline().decode().strip()
        proc.wait(timeout=LIMIT)
        self.assertEqual((first, second), ("hash_error/open_error", "hashed/parsed"))

    # ---- the target's own process and memory

    def test_userfaultfd_region_reads_as_failed(self):
        script = LIBC + r"""
libc.syscall.restype = ctypes.c_long
fd = libc.syscall(323, os.O_CLOEXEC | os.O_NONBLOCK)
if fd < 0:
    print("skip userfaultfd refused: errno %d" % ctypes.get_errno(), flush=True); sys.stdin.read(); sys.exit()
libc.ioctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p]
api = (ctypes.c_uint64 * 3)(0xAA, 0, 0)
size = 2 << 20
addr = libc.mmap(None, size, 7, 0x22, -1, 0)  # private anonymous RWX, never touched
register = (ctypes.c_uint64 * 4)(addr, size, 1, 0)  # missing-page faults go to fd, which nobody reads
if libc.ioctl(fd, 0xc018aa3f, api) != 0 or libc.ioctl(fd, 0xc020aa00, register) != 0:
    print("skip userfaultfd registration refused: errno %d" % ctypes.get_errno(), flush=True)
else:
    print(hex(addr), flush=True)
sys.stdin.read()
"""
        target = self.target(script)
        if target.answer.startswith("skip"):
            self.skipTest(target.answer[5:])
        record = call("inspect_process", target.pid, "", "heavy")
        self.assertEqual((record["memoryScanStatus"], record["manualMapSuspected"]), ("ok", "1"))
        regions = {r["baseAddress"]: r for r in json.loads(record["privateExecutableRegionsJson"])}
        self.assertEqual(regions[target.answer].get("sampleStatus"), "read_failed")

    def test_main_thread_ended(self):
        script = r"""
import ctypes, os, sys, threading
def live_on():
    print("ready", flush=True)
    threading.Event().wait()
threading.Thread(target=live_on).start()
ctypes.CDLL(None).syscall(60, 0)  # exit of the main thread alone
"""
        target = self.target(script)
        for _ in range(500):
            with open("/proc/%d/stat" % target.pid) as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    break
            time.sleep(0.01)
        self.assertTrue(self.assert_examined(target.pid, "cheap")["executablePath"])

    def test_cheat_in_a_deep_folder_is_seen(self):
        folder = self.dir
        while len(folder) + 201 < 1223 - 2:
            folder += "/" + "d" * 200
        folder += "/" + "e" * (1223 - len(folder) - 1)
        self.assertEqual(len(folder), 1223)
        os.makedirs(folder)
        path = os.path.join(folder, "known-cheat-test-program")
        shutil.copyfile(CHEAT_PROGRAM, path)
        os.chmod(path, 0o755)
        program = self.program(path)
        digest = md5_of(CHEAT_PROGRAM)
        for level in ("medium", "heavy"):
            record = call("inspect_process", os.getpid(), "", level)
            self.assertEqual((record["knownCheatProcessHashMatch"], record["knownCheatProcessMd5"]), ("1", digest))
            if record["knownCheatProcessPath"] != path:  # another copy came first in the process list
                self.assertEqual(md5_of(record["knownCheatProcessPath"]), digest)
        self.assertEqual(call("inspect_process", program.pid, "", "cheap")["executablePath"], path)

    # ---- sheer numbers

    def test_many_mappings(self):
        script = LIBC + r"""
libc.mprotect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]
pages = 60000
base = libc.mmap(None, pages * 4096, 3, 0x22, -1, 0)
for i in range(0, pages, 2):  # alternate protections: one mapping per page
    libc.mprotect(base + i * 4096, 4096, 1)
print("ready", flush=True)
sys.stdin.read()
"""
        target = self.target(script)
        with open("/proc/%d/maps" % target.pid) as f:
            self.assertGreater(sum(1 for _ in f), 60000)
        self.assert_examined(target.pid, "heavy")

    def test_many_threads_and_zombies(self):
        script = r"""
import os, sys, threading
zombies = []
for _ in range(2000):  # never reaped
    pid = os.fork()
    if pid == 0:
        os._exit(0)
    zombies.append(pid)
threading.stack_size(65536)
hold = threading.Event()
for _ in range(5000):
    threading.Thread(target=hold.wait, daemon=True).start()
print(zombies[-1], flush=True)
sys.stdin.read()
"""
        target = self.target(script)
        self.assertEqual(self.assert_examined(target.pid, "cheap")["threadCount"], "5001")
        self.assertEqual(call("inspect_process", int(target.answer), "", "heavy")["processFound"], "0")
        self.assertIn(call("detect_cheat_process")["detected"], ("0", "1"))


if __name__ == "__main__":
    unittest.main()
