#!/usr/bin/env python3
"""Checks the release programs' PE headers for the hardening they are built with, and that they
import only Windows' own DLLs. Usage: check_exe.py PROGRAM MAP [PROGRAM MAP ...]
(rdpport.exe with rdpport.map, rdpport.com with rdpport_com.map).
Exits 1 and names every missing property of every program."""
import struct
import sys

# DllCharacteristics bits
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
# Section characteristics
MEM_EXECUTE = 0x20000000
MEM_WRITE = 0x80000000

SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
    "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "windowscodecs.dll",
}


def parse(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<2xH12xH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != 0x20B:
        raise ValueError("not PE32+ (x86_64)")
    dll_chars = struct.unpack_from("<H", data, opt + 70)[0]
    dirs = opt + 112
    import_rva, _ = struct.unpack_from("<II", data, dirs + 8 * 1)
    reloc_rva, reloc_size = struct.unpack_from("<II", data, dirs + 8 * 5)
    table = []
    for i in range(sections):
        off = opt + opt_size + 40 * i
        name = data[off:off + 8].rstrip(b"\0").decode()
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, off + 8)
        chars = struct.unpack_from("<I", data, off + 36)[0]
        table.append((name, vaddr, vsize, raddr, chars))
    return dll_chars, import_rva, reloc_size, table


def rva_to_offset(table, rva):
    for _, vaddr, vsize, raddr, _ in table:
        if vaddr <= rva < vaddr + vsize:
            return rva - vaddr + raddr
    raise ValueError("rva %#x outside every section" % rva)


def imported_dlls(data, table, import_rva):
    names = []
    off = rva_to_offset(table, import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, off + 12)[0]
        if name_rva == 0:
            return names
        start = rva_to_offset(table, name_rva)
        names.append(data[start:data.index(b"\0", start)].decode().lower())
        off += 20


# The console program (a .com) links no window code: none of these may be among its imports.
WINDOW_DLLS = ("user32.dll", "gdi32.dll", "comctl32.dll", "windowscodecs.dll")


def check(exe, map_file):
    print(exe)
    data = open(exe, "rb").read()
    dll_chars, import_rva, reloc_size, table = parse(data)
    problems = []
    for bit, label in ((DYNAMIC_BASE, "ASLR (dynamic base)"), (HIGH_ENTROPY_VA, "high-entropy VA"),
                       (NX_COMPAT, "NX compatible")):
        print("%-24s %s" % (label, "yes" if dll_chars & bit else "NO"))
        if not dll_chars & bit:
            problems.append(label)
    print("%-24s %d bytes" % ("relocations", reloc_size))
    if reloc_size == 0:
        problems.append("relocations stripped")
    for name, _, _, _, chars in table:
        if chars & MEM_EXECUTE and chars & MEM_WRITE:
            problems.append("section %s is writable and executable" % name)
    print("%-24s %s" % ("W+X sections", "none" if not any("writable" in p for p in problems) else "PRESENT"))
    linked = open(map_file, errors="replace").read()
    protector = "__stack_chk_fail" in linked and "__stack_chk_guard" in linked
    print("%-24s %s" % ("stack protector", "yes" if protector else "NO"))
    if not protector:
        problems.append("stack protector not linked")
    dlls = imported_dlls(data, table, import_rva)
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    print("%-24s %s" % ("imports", ", ".join(dlls)))
    if foreign:
        problems.append("imports DLLs that are not Windows' own: " + ", ".join(foreign))
    if exe.lower().endswith(".com"):
        window = [d for d in dlls if d in WINDOW_DLLS]
        print("%-24s %s" % ("window DLLs", ", ".join(window) if window else "none"))
        if window:
            problems.append("the console program imports window DLLs: " + ", ".join(window))
    for p in problems:
        print("MISSING: " + p)
    return problems


def main():
    args = sys.argv[1:]
    if not args or len(args) % 2:
        print("usage: check_exe.py PROGRAM MAP [PROGRAM MAP ...]")
        return 2
    failed = False
    for i in range(0, len(args), 2):
        failed = bool(check(args[i], args[i + 1])) or failed
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
