#!/usr/bin/env python3
"""Checks the manifests embedded in Windows programs: every assemblyIdentity, the program's own
and each dependency's, must name the processor of the file that carries it (x86 for an i386
image, amd64 for an x86-64 one) or "*". A 64-bit program whose manifest asks for the x86 common
controls is handed the x86 DLL on a system that holds both, and does not start.

Every requestedExecutionLevel must ask for administrator rights without UI access
(level="requireAdministrator", uiAccess="false"): each window program writes keys under
HKEY_LOCAL_MACHINE, which a program started with the user's filtered token cannot open for
writing, and it would fail without a word.

    manifest_arch.py PROGRAM...

Each program must carry at least one manifest with an assemblyIdentity and at least one
requestedExecutionLevel; runs without Wine.
"""
import struct
import sys
import xml.etree.ElementTree as ET

MACHINES = {0x014C: "x86", 0x8664: "amd64"}
RT_MANIFEST = 24
EXECUTION_LEVEL = {"level": "requireAdministrator", "uiAccess": "false"}


class BadImage(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def read_image(data):
    """The machine name and a function mapping an RVA to a file offset, and the resource
    directory's RVA (0 when the image has none)."""
    if data[:2] != b"MZ":
        raise BadImage("no MZ header")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadImage("no PE header")
    coff = pe + 4
    machine = u16(data, coff)
    if machine not in MACHINES:
        raise BadImage(f"machine 0x{machine:04x} is neither i386 nor x86-64")
    sections = u16(data, coff + 2)
    optional_size = u16(data, coff + 16)
    optional = coff + 20
    magic = u16(data, optional)
    directories = {0x10B: optional + 96, 0x20B: optional + 112}.get(magic)
    if directories is None:
        raise BadImage(f"optional header magic 0x{magic:04x}")
    resource_rva = u32(data, directories + 2 * 8)
    table = []
    for i in range(sections):
        s = optional + optional_size + 40 * i
        table.append((u32(data, s + 12), max(u32(data, s + 8), u32(data, s + 16)), u32(data, s + 20)))

    def file_offset(rva):
        for address, size, raw in table:
            if address <= rva < address + size:
                return raw + rva - address
        raise BadImage(f"RVA 0x{rva:x} lies in no section")

    return MACHINES[machine], file_offset, resource_rva


def manifests(data):
    """The machine name and every RT_MANIFEST resource (all names, all languages) as bytes."""
    machine, file_offset, resource_rva = read_image(data)
    found = []
    if not resource_rva:
        return machine, found
    root = file_offset(resource_rva)

    def entries(directory):
        count = u16(data, directory + 12) + u16(data, directory + 14)
        for i in range(count):
            entry = directory + 16 + 8 * i
            yield u32(data, entry), u32(data, entry + 4)

    def leaves(target):
        if target & 0x80000000:
            for _, child in entries(root + (target & 0x7FFFFFFF)):
                yield from leaves(child)
        else:
            leaf = root + target
            rva, size = u32(data, leaf), u32(data, leaf + 4)
            start = file_offset(rva)
            yield data[start:start + size]

    for name, target in entries(root):
        if name == RT_MANIFEST:
            found.extend(leaves(target))
    return machine, found


def check(path):
    """Problems found in one program, as text lines."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        machine, texts = manifests(data)
    except (BadImage, struct.error) as e:
        return [f"{path}: not a readable Windows image ({e})"]
    problems = []
    identities = 0
    levels = 0
    for number, text in enumerate(texts, 1):
        try:
            root = ET.fromstring(text.lstrip(b"\xef\xbb\xbf"))
        except ET.ParseError as e:
            problems.append(f"{path}: manifest {number} is not well-formed XML ({e})")
            continue
        for element in root.iter():
            tag = element.tag.rsplit("}", 1)[-1]
            if tag == "requestedExecutionLevel":
                levels += 1
                for attribute, wanted in EXECUTION_LEVEL.items():
                    if element.get(attribute) != wanted:
                        problems.append(f"{path}: requestedExecutionLevel has {attribute}="
                                        f"'{element.get(attribute)}', not '{wanted}'")
                continue
            if tag != "assemblyIdentity":
                continue
            identities += 1
            name = element.get("name", "?")
            arch = element.get("processorArchitecture")
            if arch is not None and arch.lower() not in (machine, "*"):
                problems.append(f"{path}: {machine} image, but the assemblyIdentity '{name}' "
                                f"names processor '{arch}'")
    if not identities:
        problems.append(f"{path}: carries no manifest with an assemblyIdentity")
    if not levels:
        problems.append(f"{path}: requests no execution level")
    return problems


def main(paths):
    if not paths:
        print("usage: manifest_arch.py PROGRAM...", file=sys.stderr)
        return 2
    status = 0
    for path in paths:
        problems = check(path)
        for line in problems:
            print(line)
        if problems:
            status = 1
        else:
            print(f"{path}: manifest fits its processor and asks for administrator rights")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
