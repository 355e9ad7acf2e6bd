"""The attack suite's verdict logic: what makes CI fail, and the rebuilt test module."""
import hashlib
import importlib.machinery
import importlib.util
import os
import struct
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
_loader = importlib.machinery.SourceFileLoader("attack_suite", os.path.join(ROOT, "bench", "attack_suite"))
_spec = importlib.util.spec_from_loader("attack_suite", _loader)
suite = importlib.util.module_from_spec(_spec)
_loader.exec_module(suite)


def row(technique, field, expected):
    return {"build": "linux", "technique": technique, "field": field, "expected": expected, "note": ""}


class CompareTest(unittest.TestCase):
    expected = [row("debugger", "debuggerPresent", "caught:medium,heavy"), row("remote_thread", "hijack", "caught"),
                row("write_handle_vm", "externalWriteHandleDetected", "missed")]
    reviewed = [{"build": "linux", "kind": "report_only", "process": "Init", "module": "", "word": "x", "reason": "r"}]

    def compare(self, results, clean=None, findings=None, recheck=None):
        return suite.compare("linux", results, clean or {}, findings or {}, self.expected, self.reviewed, recheck)

    def test_levels_lost_fail_and_levels_gained_only_note(self):
        problems, notices = self.compare({("debugger", "debuggerPresent"): ["heavy"],
                                          ("remote_thread", "hijack"): ["any"],
                                          ("write_handle_vm", "externalWriteHandleDetected"): ["heavy"]})
        self.assertEqual(len(problems), 1)
        self.assertIn("missed at medium", problems[0])
        self.assertEqual(len(notices), 1)
        self.assertIn("write_handle_vm", notices[0])

    def test_unstaged_unlisted_and_clean_game_firing_fail(self):
        problems, _ = self.compare({("debugger", "debuggerPresent"): None, ("remote_thread", "hijack"): [],
                                    ("write_handle_vm", "externalWriteHandleDetected"): [], ("new", "f"): []},
                                   clean={("remote_thread", "hijack"): ["any"]})
        text = "\n".join(problems)
        for expected in ("not staged", "hijack: missed at any", "new / f: no expected row", "fires on the clean game"):
            self.assertIn(expected, text)

    def test_sweep_findings_reviewed_transient_and_new(self):
        results = {("debugger", "debuggerPresent"): ["medium", "heavy"], ("remote_thread", "hijack"): ["any"],
                   ("write_handle_vm", "externalWriteHandleDetected"): []}
        findings = {("linux", "report_only", "init", "", "x"): {1},
                    ("linux", "suspicious", "sshd", "libc.so", "user_writable_path"): {5},
                    ("linux", "verdict", "java", "", "detect_thread_hijack"): {7}}
        problems, notices = self.compare(results, findings=findings, recheck=lambda key, pids: 5 in pids)
        self.assertEqual(problems, ["linux: new clean-sweep finding: suspicious / sshd / libc.so / user_writable_path"])
        self.assertEqual(len(notices), 1)
        self.assertIn("java", notices[0])


class SweepFindingsTest(unittest.TestCase):
    def test_every_suspicious_and_report_only_finding_is_keyed_by_process_and_module(self):
        record = {"pid": 9, "name": "memfd:sealed-1234 (deleted)", "hijack": True,
                  "process": {"suspicious": "1", "debuggerPresent": "1", "manualMapReportOnly": "1",
                              "externalWriteHandleReportOnly": "1", "externalWriteHandleProcessName": "Tool.exe"},
                  "modules": [{"path": "C:\\Game\\D3D9.dll", "suspicious": "1",
                               "suspiciousReasons": "unexpected_graphics_input_wrapper",
                               "reportOnlyReasons": "known_cheat_hash,fuzzy_cheat_corpus_match"}]}
        machine = {"pid": 0, "name": "", "cheat": {"detected": "1", "name": "CheatEngine.exe"}}
        keys = set(suite.sweep_findings("windows", [record, machine]))
        self.assertEqual(keys, {
            ("windows", "verdict", "memfd:*", "", "detect_thread_hijack"),
            ("windows", "verdict", "cheatengine.exe", "", "is_cheat_detected"),
            ("windows", "suspicious", "memfd:*", "", "debuggerPresent"),
            ("windows", "report_only", "memfd:*", "", "manualMapReportOnly"),
            ("windows", "report_only", "memfd:*", "holder tool.exe", "externalWriteHandleReportOnly"),
            ("windows", "suspicious", "memfd:*", "d3d9.dll", "unexpected_graphics_input_wrapper"),
            ("windows", "report_only", "memfd:*", "d3d9.dll", "known_cheat_hash"),
            ("windows", "report_only", "memfd:*", "d3d9.dll", "fuzzy_cheat_corpus_match"),
        })


def sections(data):
    pe = struct.unpack_from("<I", data, 60)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    out = {}
    for i in range(count):
        h = pe + 24 + optional_size + 40 * i
        name = data[h:h + 8].rstrip(b"\0").decode()
        va, raw_size, raw_at = struct.unpack_from("<III", data, h + 12)
        out[name] = (va, data[raw_at:raw_at + raw_size])
    return out, struct.unpack_from("<I", data, pe + 24 + 56)[0]


class RebuildTest(unittest.TestCase):
    def test_rebuild_keeps_the_code_and_changes_the_file(self):
        source = os.path.join(ROOT, "testdata", "known-cheat-test-module.dll")
        with tempfile.TemporaryDirectory() as tmp:
            target = os.path.join(tmp, "rebuild.dll")
            suite.write_rebuild(source, target)
            original, rebuilt = open(source, "rb").read(), open(target, "rb").read()
        self.assertNotEqual(hashlib.md5(original).digest(), hashlib.md5(rebuilt).digest())
        (old, old_size), (new, new_size) = sections(original), sections(rebuilt)
        self.assertEqual(new[".text"], old[".text"])
        self.assertEqual(sorted(new), [".data", ".text"])
        va, data = new[".data"]
        self.assertTrue(data.startswith(b"REBUILT-DATA"))
        self.assertEqual((va, new_size), (old_size, old_size + 0x1000))  # the new section ends the image


if __name__ == "__main__":
    unittest.main()
