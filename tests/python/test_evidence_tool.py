"""The analysts' evidence tool on real files: digests agree with hashlib."""
import hashlib
import json
import os
import subprocess
import tempfile
import unittest

TOOL = os.path.join(os.environ.get("ANTICHEAT_BUILD_DIR", ""), "evidence")


@unittest.skipUnless(os.access(TOOL, os.X_OK), "evidence tool not built")
class EvidenceTool(unittest.TestCase):
    def run_tool(self, *args):
        out = subprocess.run([TOOL, *args], capture_output=True, text=True)
        return out.returncode, [json.loads(line) for line in out.stdout.splitlines()]

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
                self.assertEqual(record["peStatus"], "not_pe")

    def test_game_dir_origin_and_missing_file(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "Game", "x.dll")
            os.makedirs(os.path.dirname(path))
            open(path, "wb").close()
            code, records = self.run_tool("--game-dir", os.path.join(d, "GAME"), path, path + ".missing")
            self.assertEqual(code, 1)
            self.assertEqual(records[0]["origin"], "game_dir")
            self.assertEqual(records[1]["found"], "0")
            self.assertEqual(records[1]["md5"], "")


if __name__ == "__main__":
    unittest.main()
