"""Checks a Windows extension module from `objdump -p`: PE32+ for x86-64,
ASLR with high entropy and NX, PyInit_<name> its only export, and imports
limited to python313.dll and DLLs every Windows installation carries.
Usage: pe_module_check.py OBJDUMP FILE.pyd"""
import os
import re
import subprocess
import sys

# Windows system DLLs (case-insensitive). The C runtime may be msvcrt (MinGW)
# or the Universal CRT (its api-ms-win-crt-* forwarders); neither the MinGW
# runtime DLLs nor the Visual C++ redistributable are acceptable.
SYSTEM_DLLS = {
    "kernel32.dll", "ntdll.dll", "advapi32.dll", "user32.dll", "gdi32.dll", "wintrust.dll",
    "crypt32.dll", "version.dll", "bcrypt.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "psapi.dll", "msvcrt.dll", "ucrtbase.dll",
}
SYSTEM_PATTERNS = [re.compile(r"^api-ms-win-[a-z0-9-]+\.dll$")]

objdump, path = sys.argv[1], sys.argv[2]
dump = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
module = os.path.basename(path).split(".")[0]
problems = []

if "file format pei-x86-64" not in dump:
    problems.append("not a PE image for x86-64")
if not re.search(r"^Magic\s+020b\s", dump, re.M):
    problems.append("optional header is not PE32+")
m = re.search(r"^DllCharacteristics\s+([0-9a-fA-F]+)", dump, re.M)
flags = int(m.group(1), 16) if m else 0
for bit, name in ((0x0020, "HIGH_ENTROPY_VA"), (0x0040, "DYNAMIC_BASE"), (0x0100, "NX_COMPAT")):
    if not flags & bit:
        problems.append(f"{name} is not set")
if re.search(r"^Characteristics .*\n(?:\t.*\n)*?\s*relocations stripped", dump, re.M):
    problems.append("relocations stripped: ASLR cannot move the image")

table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\s*\[\s*\d+\].*\n)*)", dump)
exports = re.findall(r"\]\s+(\S+)", table.group(1)) if table else []
if exports != [f"PyInit_{module}"]:
    problems.append(f"exports {exports}, expected only PyInit_{module}")

imports = [d.lower() for d in re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)]
if "python313.dll" not in imports:
    problems.append("does not import python313.dll")
for dll in imports:
    if dll != "python313.dll" and dll not in SYSTEM_DLLS and not any(p.match(dll) for p in SYSTEM_PATTERNS):
        problems.append(f"imports {dll}, which Windows does not ship")

if problems:
    print(f"{path}:\n  " + "\n  ".join(problems))
    sys.exit(1)
print(f"{os.path.basename(path)}: PE32+ x86-64, ASLR+NX, exports {exports[0]}, imports {', '.join(imports)}")
