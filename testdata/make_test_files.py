#!/usr/bin/env python3
"""Writes the harmless known-cheat test files of this folder, byte for byte.

The known-cheat digest check lists the MD5 of each file, so loading or mapping
one inside the game process, or running the program, makes the detection fire
without any real cheat on the machine. The DLL's code section is also the
fuzzy corpus's test build, so it draws the strong corpus verdict as well.
Run it from anywhere; it rewrites the files beside itself.
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


CORPUS_MARKER = b"KNOWN-CHEAT-CORPUS-TEST-BUILD: harmless code section of the fuzzy corpus test build.\n"


def windows_dll():
    """A 64-bit Windows DLL with no imports and no entry point: loading it runs
    nothing. Its one section holds the corpus marker padded to 512 bytes."""
    text = CORPUS_MARKER + bytes(512 - len(CORPUS_MARKER))
    pe = 0x80
    dos = bytearray(pe)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 60, pe)
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x8664, 1, 0, 0, 0, 240, 0x2022)
    optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0, 0x200, 0, 0, 0, 0x1000,
                           0x180000000, 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x2000, 0x200, 0, 2, 0x0160,
                           0x100000, 0x1000, 0x100000, 0x1000, 0, 16) + bytes(16 * 8)
    section = struct.pack("<8sIIIIIIHHI", b".text", len(text), 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
    headers = bytes(dos) + coff + optional + section
    return headers + bytes(0x200 - len(headers)) + text


def windows_program():
    """A 64-bit Windows console program that only calls Sleep(INFINITE) in a loop.
    One import (KERNEL32.dll!Sleep), no relocations, no resources."""
    iat, hint_name, dll_name = 0x2038, 0x2048, 0x2050
    code = bytearray([0x48, 0x83, 0xEC, 0x28,        # sub rsp, 40
                      0xB9, 0xFF, 0xFF, 0xFF, 0xFF,  # loop: mov ecx, INFINITE
                      0xFF, 0x15, 0, 0, 0, 0,        #       call [Sleep]
                      0xEB, 0xF3])                   #       jmp loop
    struct.pack_into("<i", code, 11, iat - (0x1000 + 15))
    idata = bytearray(0x60)
    struct.pack_into("<IIIII", idata, 0, 0x2028, 0, 0, dll_name, iat)  # the one import descriptor
    struct.pack_into("<Q", idata, 0x28, hint_name)                      # lookup table
    struct.pack_into("<Q", idata, 0x38, hint_name)                      # address table
    idata[0x48:0x50] = b"\0\0Sleep\0"
    idata[0x50:0x5D] = b"KERNEL32.dll\0"
    pe = 0x80
    dos = bytearray(pe)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 60, pe)
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x8664, 2, 0, 0, 0, 240, 0x0023)
    directories = bytearray(16 * 8)
    struct.pack_into("<II", directories, 1 * 8, 0x2000, 40)
    struct.pack_into("<II", directories, 12 * 8, iat, 16)
    optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0, 0x200, 0x200, 0, 0x1000, 0x1000,
                           0x140000000, 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x3000, 0x200, 0, 3, 0x8100,
                           0x100000, 0x1000, 0x100000, 0x1000, 0, 16) + bytes(directories)
    text = struct.pack("<8sIIIIIIHHI", b".text", len(code), 0x1000, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
    imports = struct.pack("<8sIIIIIIHHI", b".idata", len(idata), 0x2000, 0x200, 0x400, 0, 0, 0, 0, 0xC0000040)
    headers = bytes(dos) + coff + optional + text + imports
    return (headers + bytes(0x200 - len(headers)) + bytes(code) + bytes(0x200 - len(code)) + bytes(idata)
            + bytes(0x200 - len(idata)))


FILES = {
    "known-cheat-test-file.txt": TEXT,
    "known-cheat-test-program": linux_program(),
    "known-cheat-test-module.dll": windows_dll(),
    "known-cheat-test-program.exe": windows_program(),
}

if __name__ == "__main__":
    for name, data in FILES.items():
        path = os.path.join(HERE, name)
        with open(path, "wb") as f:
            f.write(data)
        if "program" in name:
            os.chmod(path, 0o755)
        print(hashlib.md5(data).hexdigest(), name)
