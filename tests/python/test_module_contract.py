"""The module's Python contract: attributes, signatures, conversions, lifecycle."""
import os
import runpy
import subprocess
import sys
import sysconfig
import typing
import unittest

import anticheat

FUNCTIONS = [
    "is_windows", "initialize", "get_hwid", "is_cheat_detected", "detect_cheat_process",
    "is_debugger_present", "verify_game_integrity", "detect_thread_hijack",
    "inspect_process_modules", "inspect_process", "get_system_info", "shutdown",
]
EVERY_MODULE_HAS = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}


def stub_path():
    """The stub beside the module (build tree), else the installed stub package."""
    beside = os.path.join(os.path.dirname(anticheat.__file__), "anticheat.pyi")
    if os.path.exists(beside):
        return beside
    return os.path.join(sysconfig.get_paths()["purelib"], "anticheat-stubs", "__init__.pyi")


class ModuleShape(unittest.TestCase):
    def test_exactly_the_twelve_functions_and_the_docstring(self):
        self.assertEqual(set(dir(anticheat)) - EVERY_MODULE_HAS, set(FUNCTIONS))
        self.assertEqual(anticheat.__doc__, "Tarnvale Native Checks Core Module (Windows Only)")

    def test_docstrings_are_signature_then_text(self):
        # Debian's pybind11 2.10 spells the result Dict[...]; the 2.13 Windows builds pin, dict[...].
        self.assertIn(anticheat.inspect_process.__doc__.splitlines()[0],
                      ["inspect_process(pid: int, game_dir: str, scan_level: str = 'medium') -> " + result
                       for result in ("Dict[str, str]", "dict[str, str]")])
        self.assertEqual(anticheat.initialize.__doc__.splitlines()[0], "initialize(arg0: str) -> bool")
        self.assertTrue(anticheat.detect_cheat_process.__doc__.rstrip().endswith(
            "Return matched cheat-process {detected,name,path,md5} (empty if none)"))

    def test_stub_file_matches_the_module(self):
        with open(stub_path(), encoding="utf-8") as f:
            text = f.read()
        defined = [line.split("(")[0][4:] for line in text.splitlines() if line.startswith("def ")]
        self.assertEqual(defined, FUNCTIONS)
        for name in FUNCTIONS:
            doc = getattr(anticheat, name).__doc__.strip().splitlines()[-1]
            self.assertIn(doc, text, name)


class StubRecordTypes(unittest.TestCase):
    """The stub's TypedDicts hold exactly the keys the records carry, and every
    value a Literal allows."""

    def assert_fits(self, typed, record):
        keys = set(record)
        self.assertLessEqual(typed.__required_keys__, keys, typed.__name__)
        self.assertLessEqual(keys, typed.__required_keys__ | typed.__optional_keys__, typed.__name__)
        hints = typing.get_type_hints(typed)
        for key, value in record.items():
            if typing.get_origin(hints[key]) is typing.Literal:
                self.assertIn(value, typing.get_args(hints[key]), (typed.__name__, key))

    def test_records_fit_their_types(self):
        types = runpy.run_path(stub_path())
        for pid, level in ((0, "cheap"), (os.getpid(), "medium")):
            self.assert_fits(types["ProcessReport"], anticheat.inspect_process(pid, "", level))
        modules = anticheat.inspect_process_modules(os.getpid(), os.path.dirname(sys.executable), "cheap")
        self.assertTrue(modules)
        for record in modules:
            self.assert_fits(types["ModuleRecord"], record)
        self.assert_fits(types["CheatProcessRecord"], anticheat.detect_cheat_process())
        self.assert_fits(types["SystemInfo"], anticheat.get_system_info())
        self.assertEqual(typing.get_args(types["ScanLevel"]), ("cheap", "medium", "heavy"))


class Conversions(unittest.TestCase):
    def test_process_identifier_must_be_a_32_bit_int(self):
        for bad in (1.0, 2**31, -(2**31) - 1, None, "1"):
            with self.assertRaises(TypeError, msg=repr(bad)):
                anticheat.detect_thread_hijack(bad)
        self.assertIs(anticheat.detect_thread_hijack(0), False)
        self.assertIs(anticheat.detect_thread_hijack(2**31 - 1), False)
        with self.assertRaises(TypeError):
            anticheat.inspect_process(1.5, "")

    def test_texts_accept_str_bytes_bytearray_and_none(self):
        for level in ("CHEAP", b"cheap", bytearray(b"Cheap")):
            self.assertEqual(anticheat.inspect_process(0, None, level)["scanLevel"], "cheap")
        self.assertEqual(anticheat.inspect_process(0, None, None)["scanLevel"], "medium")
        self.assertEqual(anticheat.inspect_process(0, "C:/games", "nonsense")["scanLevel"], "medium")

    def test_a_nul_cuts_the_text(self):
        self.assertEqual(anticheat.inspect_process(0, "", "heavy\0cheap")["scanLevel"], "heavy")
        self.assertEqual(anticheat.inspect_process(0, "", b"cheap\0")["scanLevel"], "cheap")

    def test_keywords_and_default_level(self):
        self.assertEqual(anticheat.inspect_process(0, "")["scanLevel"], "medium")
        r = anticheat.inspect_process(pid=0, game_dir=None, scan_level="heavy")
        self.assertEqual(r["scanLevel"], "heavy")
        self.assertEqual(anticheat.inspect_process_modules(pid=0, game_dir="x", scan_level="cheap"), [])
        with self.assertRaises(TypeError):
            anticheat.initialize(text="x")
        with self.assertRaises(TypeError):
            anticheat.inspect_process(0)

    def test_records_come_in_byte_order_of_keys(self):
        for keys in (list(anticheat.inspect_process(-5, None, "cheap")), list(anticheat.get_system_info())):
            self.assertEqual(keys, sorted(keys, key=lambda k: k.encode()))


class Lifecycle(unittest.TestCase):
    def test_initialize_and_shutdown(self):
        self.assertIsNone(anticheat.shutdown())
        self.assertIs(anticheat.initialize(None), True)
        self.assertIs(anticheat.initialize("any"), True)
        self.assertIsNone(anticheat.shutdown())
        self.assertIsNone(anticheat.shutdown())

    def test_results_do_not_depend_on_the_session(self):
        def answers():
            return (anticheat.is_windows(), anticheat.get_hwid(), anticheat.get_system_info(),
                    anticheat.inspect_process(0, "", "heavy"))
        before = answers()
        self.assertIs(before[0], sys.platform == "win32")
        anticheat.initialize("")
        during = answers()
        anticheat.shutdown()
        self.assertEqual(before, during)


class Hwid(unittest.TestCase):
    def test_stable_within_and_across_processes(self):
        first = anticheat.get_hwid()
        self.assertEqual(first, anticheat.get_hwid())
        other = subprocess.run([sys.executable, "-c", "import anticheat; print(anticheat.get_hwid())"],
                               capture_output=True, text=True, check=True, env=os.environ)
        self.assertEqual(other.stdout.strip(), first)


if __name__ == "__main__":
    unittest.main()
