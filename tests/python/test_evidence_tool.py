"""The analysts' evidence tool on real files: digests, path sources, table matches."""
import hashlib
import json
import os
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("ANTICHEAT_BUILD_DIR", "")
TOOL = os.path.join(BUILD, "evidence")
TESTDATA = os.path.join(os.path.dirname(__file__), "..", "..", "testdata")


@unittest.skipUnless(os.access(TOOL, os.X_OK), "evidence tool not built")
class EvidenceTool(unittest.TestCase):
    def run_tool(self, *args, stdin=""):
        out = subprocess.run([TOOL, *args], capture_output=True, text=True, input=stdin, timeout=120)
        records = [json.loads(line) for line in out.stdout.splitlines()]
        for record in records:
            self.assertEqual(list(record), sorted(record))
            self.assertTrue(all(isinstance(v, str) for v in record.values()))
        return out.returncode, records

    def test_file_digests_match_hashlib_across_buffer_boundaries(self):
        with tempfile.TemporaryDirectory() as d:
            paths = []
            for size in (0, 1, 65536, 65537, 3 * 1024 * 1024 + 7):
                path = os.path.join(d, "f%d.bin" % size)
                with open(path, "wb") as f:
                    f.write(bytes((i * 131 + 7) & 0xFF for i in range(size)))
                paths.append(path)
            code, records = self.run_tool(*paths)
            self.assertEqual(code, 0)
            for path, record in zip(paths, records):
                with open(path, "rb") as f:
                    self.assertEqual(record["md5"], hashlib.md5(f.read()).hexdigest(), path)
                self.assertEqual(record["size"], str(os.path.getsize(path)))
                self.assertEqual((record["fileType"], record["peStatus"]), ("file", "not_pe"))

    def test_game_dir_origin_and_missing_file(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "Game", "x.dll")
            os.makedirs(os.path.dirname(path))
            open(path, "wb").close()
            code, records = self.run_tool("--game-dir", os.path.join(d, "GAME"), path, path + ".missing")
            self.assertEqual(code, 1)
            self.assertEqual(records[0]["origin"], "game_dir")
            self.assertEqual((records[1]["found"], records[1]["fileType"], records[1]["md5"]), ("0", "missing", ""))

    def test_directories_lists_and_standard_input(self):
        with tempfile.TemporaryDirectory() as d:
            tree = os.path.join(d, "tree")
            for rel in ("b.bin", "a/z.bin", "a/deeper/y.bin"):
                os.makedirs(os.path.dirname(os.path.join(tree, rel)), exist_ok=True)
                with open(os.path.join(tree, rel), "wb") as f:
                    f.write(rel.encode())
            os.symlink(tree, os.path.join(tree, "a", "loop"))  # not followed
            os.mkfifo(os.path.join(d, "fifo"))  # never opened: it would block

            # Without -r a directory is no file: a clear record, exit 1.
            code, records = self.run_tool(tree)
            self.assertEqual(code, 1)
            self.assertEqual(len(records), 1)
            self.assertEqual((records[0]["fileType"], records[0]["found"], records[0]["peStatus"]),
                             ("directory", "0", "not_parsed"))

            # -r walks depth first in byte order of the names, links to directories left out.
            code, records = self.run_tool("-r", tree)
            self.assertEqual(code, 0)
            walked = [os.path.relpath(r["path"], tree) for r in records]
            self.assertEqual(walked, ["a/deeper/y.bin", "a/z.bin", "b.bin"])

            listed = [os.path.join(tree, "b.bin"), "", os.path.join(d, "fifo"), os.path.join(tree, "a")]
            listfile = os.path.join(d, "list.txt")
            with open(listfile, "w", newline="") as f:
                f.write("\r\n".join(listed))  # Windows line ends, an empty line, no final newline
            code, from_list = self.run_tool("-r", "@" + listfile)
            code_in, from_stdin = self.run_tool("-r", "-", stdin="\n".join(listed) + "\n")
            self.assertEqual(from_list, from_stdin)
            self.assertEqual((code, code_in), (1, 1))  # the FIFO is not a regular file
            self.assertEqual([r["fileType"] for r in from_list], ["file", "other", "file", "file"])

            self.assertEqual(self.run_tool("@" + os.path.join(d, "no-such-list"))[0], 1)
            self.assertEqual(self.run_tool("--", "-")[1][0]["fileType"], "missing")  # a literal path

    def test_table_matches_name_the_built_in_entries(self):
        with tempfile.TemporaryDirectory() as d:
            wrapper = os.path.join(d, "D3D9.DLL")
            tool = os.path.join(d, "x64dbg.exe")
            for path in (wrapper, tool):
                open(path, "wb").close()
            module = os.path.join(TESTDATA, "known-cheat-test-module.dll")
            code, (m, w, t) = self.run_tool(module, wrapper, tool)
            self.assertEqual(code, 0)
            self.assertEqual((m["tableKnownCheatDigest"], m["tableKnownBadHolderDigest"]), ("1", "1"))
            self.assertEqual((m["tableCorpusRuleId"], m["tableCorpusStrong"]), ("known-build-test-0001", "1"))
            self.assertEqual((w["tableWrapperName"], w["tableKnownCheatDigest"]), ("d3d9.dll", "0"))
            self.assertEqual((t["tableToolCategory"], t["tableCheatName"]), ("debugger", ""))
            code, (p,) = self.run_tool(os.path.join(TESTDATA, "known-cheat-test-program"))
            self.assertEqual((p["tableCheatName"], p["tableCheatList"]), ("known-cheat-test-program", "verdict"))

    def test_usage_help_and_version(self):
        for args in ((), ("--bogus",), ("--game-dir",)):
            out = subprocess.run([TOOL, *args], capture_output=True, text=True)
            self.assertEqual((out.returncode, out.stdout), (2, ""), args)
        out = subprocess.run([TOOL, "--help"], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0)
        self.assertIn("Exit status", out.stdout)
        out = subprocess.run([TOOL, "--version"], capture_output=True, text=True)
        self.assertRegex(out.stdout, r"^evidence \d+\.\d+\.\d+ tables [0-9a-f]{64}\n$")


if __name__ == "__main__":
    unittest.main()
