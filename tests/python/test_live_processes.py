"""End to end on real child processes: debugger verdicts and thread checks."""
import ctypes
import os
import subprocess
import sys
import time
import unittest

import anticheat

PTRACE_ATTACH, PTRACE_DETACH = 16, 17


def start_sleeper():
    return subprocess.Popen(["sleep", "60"])


def stop(proc):
    proc.kill()
    proc.wait()
    for stream in (proc.stdin, proc.stdout):
        if stream:
            stream.close()


@unittest.skipUnless(sys.platform.startswith("linux"), "Linux stand-in only")
class DebuggerOnTarget(unittest.TestCase):
    def test_traced_child_is_debugged_untraced_is_not(self):
        child = start_sleeper()
        try:
            self.assertEqual(anticheat.inspect_process(child.pid, "", "medium")["debuggerPresent"], "0")
            libc = ctypes.CDLL(None, use_errno=True)
            libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
            if libc.ptrace(PTRACE_ATTACH, child.pid, None, None) != 0:
                self.skipTest("ptrace not permitted here: errno %d" % ctypes.get_errno())
            os.waitpid(child.pid, 0)
            try:
                record = anticheat.inspect_process(child.pid, "", "medium")
                self.assertEqual(record["debuggerPresent"], "1")
                self.assertEqual(record["suspicious"], "1")
                self.assertEqual(anticheat.inspect_process(child.pid, "", "cheap")["debuggerPresent"], "0")
            finally:
                libc.ptrace(PTRACE_DETACH, child.pid, None, None)
        finally:
            stop(child)
        self.assertIs(anticheat.is_debugger_present(), False)


@unittest.skipUnless(sys.platform.startswith("linux"), "Linux stand-in only")
class ThreadHijack(unittest.TestCase):
    def test_thread_parked_in_anonymous_code_fires(self):
        # A child thread calls into anonymous executable memory holding
        # "mov eax, 34 (pause); syscall; jmp back": it sleeps there for good.
        script = (
            "import ctypes, mmap, sys, threading\n"
            "code = bytes([0xB8, 34, 0, 0, 0, 0x0F, 0x05, 0xEB, 0xF7])\n"
            "m = mmap.mmap(-1, 4096, prot=mmap.PROT_READ | mmap.PROT_WRITE | mmap.PROT_EXEC)\n"
            "m.write(code)\n"
            "addr = ctypes.addressof(ctypes.c_char.from_buffer(m))\n"
            "fn = ctypes.CFUNCTYPE(None)(addr)\n"
            "threading.Thread(target=fn, daemon=True).start()\n"
            "print('ready', flush=True)\n"
            "sys.stdin.read()\n")
        child = subprocess.Popen([sys.executable, "-c", script], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(child.stdout.readline().strip(), b"ready")
            time.sleep(0.2)
            self.assertIs(anticheat.detect_thread_hijack(child.pid), True)
        finally:
            stop(child)


if __name__ == "__main__":
    unittest.main()
