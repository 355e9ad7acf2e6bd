"""Runs mypy on a client and compares its findings with the client's
`# expect: CODE` markers: every marked line flagged with that code, and no
other finding. Usage: mypy_expectations.py CLIENT [mypy options...]"""
import re
import shutil
import subprocess
import sys

client, options = sys.argv[1], sys.argv[2:]
expected = set()
with open(client, encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        m = re.search(r"#\s*expect:\s*([a-z-]+)", line)
        if m:
            expected.add((number, m.group(1)))

mypy = [shutil.which("mypy")] if shutil.which("mypy") else [sys.executable, "-m", "mypy"]
run = subprocess.run([*mypy, *options, client], capture_output=True, text=True)
found = set()
for line in run.stdout.splitlines():
    m = re.match(r"^.*?:(\d+): error: .*\[([a-z-]+)\]$", line)
    if m:
        found.add((int(m.group(1)), m.group(2)))

if found != expected or (run.returncode != 0) != bool(expected):
    print(run.stdout + run.stderr)
    for number, code in sorted(expected - found):
        print(f"{client}:{number}: mypy did not report [{code}]")
    for number, code in sorted(found - expected):
        print(f"{client}:{number}: unexpected mypy finding [{code}]")
    sys.exit(1)
print(f"{client}: mypy reports exactly the {len(expected)} expected findings")
