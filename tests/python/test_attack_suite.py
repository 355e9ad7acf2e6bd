"""The attack suite's verdict logic: what makes CI fail. CI runs the suite itself end to end, which proves
the staging and the rebuilt module; only the failing branches need cases of their own."""
import importlib.machinery
import importlib.util
import os
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


if __name__ == "__main__":
    unittest.main()
