#!/usr/bin/env python3
"""Writes the harmless known-cheat test files of this folder, byte for byte.

The known-cheat digest check lists the MD5 of each file, so copying one into a
game directory (the text file, mapped by the game) or running the program
makes the detection fire without any real cheat on the machine. Run it from
anywhere; it rewrites the files beside itself.
"""
import hashlib
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

TEXT = (b"KNOWN-CHEAT-TEST-FILE: a harmless file whose digest the known-cheat digest "
        b"check lists, so the detection can be seen end to end.\n")


def linux_program():
    """A 64-bit Linux program that only waits in pause() until a signal ends it."""
    base = 0x400000
    code_offset = 64 + 56
    code = bytes([0xB8, 0x22, 0x00, 0x00, 0x00,  # mov eax, 34 (pause)
                  0x0F, 0x05,                    # syscall
                  0xEB, 0xF7])                   # jmp back to the mov
    marker = b"harmless known-cheat test program\0"
    total = code_offset + len(code) + len(marker)
    ident = b"\x7fELF" + bytes([2, 1, 1, 0]) + bytes(8)
    header = ident + struct.pack("<HHIQQQIHHHHHH", 2, 0x3E, 1, base + code_offset, 64, 0, 0,
                                 64, 56, 1, 64, 0, 0)
    segment = struct.pack("<IIQQQQQQ", 1, 5, 0, base, base, total, total, 0x1000)
    return header + segment + code + marker


FILES = {
    "known-cheat-test-file.txt": TEXT,
    "known-cheat-test-program": linux_program(),
}

if __name__ == "__main__":
    for name, data in FILES.items():
        path = os.path.join(HERE, name)
        with open(path, "wb") as f:
            f.write(data)
        if name.endswith("program"):
            os.chmod(path, 0o755)
        print(hashlib.md5(data).hexdigest(), name)
