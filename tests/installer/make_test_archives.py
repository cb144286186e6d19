#!/usr/bin/env python3
"""Makes the installer tests' 7z archives with 7zz, and the files they were made from.

    make_test_archives.py OUTDIR INF

OUTDIR/<name>/ holds the files an archive was made from and OUTDIR/<name>.7z the archive:

  mixed      several files (x86 code, text, random bytes), empty files, directories (one of
             them empty), non-ASCII names; one solid block, BCJ2 + LZMA2 as the driver package
  nonsolid   the same files, one block per file
  package    the driver package's layout: x86/ and amd64/ with the tool, driver, co-installers
             and the driver's INF (the amd64 copy decorated NTAMD64); stand-in bytes for the rest
  unsafe     names that leave the folder they are extracted to ("..", absolute, drive letter),
             written by patching an archive with an uncompressed header, and DOS device names
  huge       one file of zeros one byte larger than the reader's allocation cap (64 MiB)
  longpath   the package's tool and INF in x86/ and amd64/, and in each a devcon.exe below a
             folder of LONG_FOLDER characters: whether its path fits MAX_PATH depends on the
             work folder's length, which the tests choose
  farpath    the same tool and INF, and in each architecture's folder a devcon.exe two folders
             of 200 characters deep: far over MAX_PATH in any work folder
Contents are fixed pseudo-random bytes: every run makes the same files.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

# BCJ2 for the main stream with LZMA2 for it and for the call and jump streams, as the driver
# package is made.
BCJ2_LZMA2 = ['-m0=BCJ2', '-m1=LZMA2:d=23', '-m2=LZMA2:d=19', '-m3=LZMA2:d=19',
              '-mb0s0:1', '-mb0s1:2', '-mb0s2:3']


def x86_code(rng, size):
    """Bytes that look like 32-bit code: many E8/E9 calls and jumps for BCJ2 to convert."""
    out = bytearray()
    while len(out) < size:
        kind = rng.randrange(4)
        if kind == 0:
            out += b'\xE8' + struct.pack('<i', rng.randrange(-65536, 65536))
        elif kind == 1:
            out += b'\xE9' + struct.pack('<i', rng.randrange(-4096, 4096))
        elif kind == 2:
            out += b'\x0F\x84' + struct.pack('<i', rng.randrange(-512, 512))
        else:
            out += bytes(rng.choice([0x55, 0x8B, 0xEC, 0x83, 0xC4, 0x5D, 0xC3, 0x90])
                         for _ in range(rng.randrange(1, 8)))
    return bytes(out[:size])


def text(rng, size):
    words = ['port', 'printer', 'receipt', 'serial', 'parallel', 'driver', 'ESC/POS', '\r\n']
    out = []
    length = 0
    while length < size:
        w = rng.choice(words) + ' '
        out.append(w)
        length += len(w)
    return ''.join(out).encode('ascii')[:size]


def write(root, name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def seven_zip(archive, root, names, options):
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(['7zz', 'a', '-t7z', '-bd', '-bso0', '-bsp0', archive] + options + names,
                   cwd=root, check=True)


def mixed_tree(root):
    rng = random.Random(8)
    write(root, 'bin/tool.exe', x86_code(rng, 200000))
    write(root, 'bin/helper.dll', x86_code(rng, 30001))
    write(root, 'text/readme.txt', text(rng, 50000))
    write(root, 'text/empty.txt', b'')
    write(root, 'zero.bin', b'')
    write(root, 'random.bin', bytes(rng.randrange(256) for _ in range(4099)))
    write(root, 'Grüße/Ärger.txt', 'Grüße aus der Kasse\r\n'.encode('utf-8'))
    write(root, '驱动/端口/说明.txt', '虚拟端口\r\n'.encode('utf-8'))
    write(root, 'emoji-\U0001F600.dat', bytes(range(256)))
    write(root, 'dir with space/file name.txt', b'spaces are fine\r\n')
    os.makedirs(os.path.join(root, 'empty-dir'), exist_ok=True)
    os.makedirs(os.path.join(root, 'outer/inner-empty'), exist_ok=True)
    return sorted(os.listdir(root))


def package_tree(root, inf):
    rng = random.Random(3109)
    with open(inf, 'rb') as f:
        inf_x86 = f.read()
    for arch in ('x86', 'amd64'):
        inf_text = inf_x86 if arch == 'x86' else inf_x86.replace(b'NTx86', b'NTAMD64')
        write(root, arch + '/devcon.exe', x86_code(rng, 40000))
        write(root, arch + '/zulkor.dll', x86_code(rng, 20000))
        write(root, arch + '/WdfCoInstaller01009.dll', x86_code(rng, 15000))
        write(root, arch + '/WUDFUpdate_01009.dll', x86_code(rng, 15000))
        write(root, arch + '/Quorvallent.inf', inf_text)
    return ['x86', 'amd64']


# Archive name as 7zz stores it -> the name it is patched to (same length in UTF-16 units).
UNSAFE_NAMES = [
    ('x86/aa/evil1.txt', 'x86/../evil1.txt'),
    ('x86/zz/evil2.txt', 'x86\\..\\evil2.txt'),
    ('Yx86/abs.txt', '/x86/abs.txt'),
    ('Cz/x86/drv.txt', 'C:/x86/drv.txt'),
]


# Items named like DOS devices, in the architecture's folder and below it.
DEVICE_NAMES = ['x86/CON', 'x86/nul.txt', 'x86/sub/Com1.inf', 'x86/LPT9.dll', 'x86/aux',
                'x86/CONIN$', 'x86/conout$.txt', 'x86/sub/Clock$.inf']


def unsafe_archive(root, archive):
    for stored, _ in UNSAFE_NAMES:
        write(root, stored, b'must never be written\r\n')
    write(root, 'x86/good.txt', b'good\r\n')
    # Device names: plain files on Linux, devices when a Windows program creates them.
    for name in DEVICE_NAMES:
        write(root, name, b'must never reach a device\r\n')
    seven_zip(archive, root, ['x86', 'Yx86', 'Cz'], ['-mhc=off', '-ms=on'])
    with open(archive, 'rb') as f:
        data = bytearray(f.read())
    next_offset, next_size = struct.unpack_from('<QQ', data, 12)
    start = 32 + next_offset
    header = bytearray(data[start:start + next_size])
    for stored, patched in UNSAFE_NAMES:
        old = stored.encode('utf-16-le') + b'\0\0'
        new = patched.encode('utf-16-le') + b'\0\0'
        assert len(old) == len(new) and header.count(old) == 1, stored
        header = header.replace(old, new)
    data[start:start + next_size] = header
    struct.pack_into('<I', data, 28, zlib.crc32(header))
    struct.pack_into('<I', data, 8, zlib.crc32(bytes(data[12:32])))
    with open(archive, 'wb') as f:
        f.write(data)


# The long folder's name in longpath: "<arch>/<LONG_FOLDER characters>/devcon.exe".
LONG_FOLDER = 150


def long_path_archives(out, inf):
    rng = random.Random(260)
    with open(inf, 'rb') as f:
        inf_bytes = f.read()
    deep = ['d' * 200, 'e' * 200]
    for name, tail in (('longpath', ['L' * LONG_FOLDER]), ('farpath', deep)):
        root = os.path.join(out, name)
        for arch in ('x86', 'amd64'):
            write(root, arch + '/devcon.exe', x86_code(rng, 3000))
            write(root, arch + '/Quorvallent.inf', inf_bytes)
            write(root, '/'.join([arch] + tail + ['devcon.exe']), x86_code(rng, 2000))
        seven_zip(os.path.join(out, name + '.7z'), root, ['x86', 'amd64'], BCJ2_LZMA2 + ['-ms=on'])


def main():
    out = sys.argv[1]
    inf = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for name in ('mixed', 'nonsolid', 'package', 'unsafe', 'huge', 'longpath', 'farpath'):
        shutil.rmtree(os.path.join(out, name), ignore_errors=True)

    names = mixed_tree(os.path.join(out, 'mixed'))
    seven_zip(os.path.join(out, 'mixed.7z'), os.path.join(out, 'mixed'), names,
              BCJ2_LZMA2 + ['-ms=on'])
    shutil.copytree(os.path.join(out, 'mixed'), os.path.join(out, 'nonsolid'))
    seven_zip(os.path.join(out, 'nonsolid.7z'), os.path.join(out, 'nonsolid'), names,
              BCJ2_LZMA2 + ['-ms=off'])

    names = package_tree(os.path.join(out, 'package'), inf)
    seven_zip(os.path.join(out, 'package.7z'), os.path.join(out, 'package'), names,
              BCJ2_LZMA2 + ['-ms=on'])

    unsafe_archive(os.path.join(out, 'unsafe'), os.path.join(out, 'unsafe.7z'))
    long_path_archives(out, inf)

    # Written in pieces: the sixty-odd MB need not sit in memory at once.
    os.makedirs(os.path.join(out, 'huge'))
    with open(os.path.join(out, 'huge', 'zeros.bin'), 'wb') as f:
        for _ in range(64):
            f.write(bytes(1 << 20))
        f.write(b'\0')
    seven_zip(os.path.join(out, 'huge.7z'), os.path.join(out, 'huge'), ['zeros.bin'],
              ['-m0=LZMA2', '-ms=on'])
    os.remove(os.path.join(out, 'huge', 'zeros.bin'))


if __name__ == '__main__':
    main()
