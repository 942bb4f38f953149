#!/usr/bin/env python3
"""Writes the seed corpus of the archive fuzz target (tests/fuzz/corpus).

The files named min-* beside the seeds are not written here: they are small inputs
that fuzzing found to reach code the seeds do not (libFuzzer -merge=1 -use_counters=0
-max_len=512 over its corpus), kept so that every test run replays them.

Input layout (tests/fuzz/FuzzArchive.h): options byte, import length / 61,
.dir length (little-endian 16 bits), the .dir bytes, then the .img bytes.
"""
import os
import struct
import sys

SECTOR = 2048


def record(offset, size, name, reserved=0):
    return struct.pack('<IHH', offset, size, reserved) + name.ljust(24, b'\0')[:24]


def data(img, offset, content):
    at = offset * SECTOR
    if len(img) < at + len(content):
        img.extend(b'\0' * (at + len(content) - len(img)))
    img[at:at + len(content)] = content


def pattern(seed, length):
    return bytes((seed * 131 + i * 7) & 0xFF for i in range(length))


def ver1(entries, fill=True):
    img = bytearray()
    for i, (offset, size, name) in enumerate(entries):
        data(img, offset, pattern(i, size * SECTOR if fill else min(size * SECTOR, 300)))
    return b''.join(record(*e) for e in entries), bytes(img)


def ver2(entries, fill=True):
    img = bytearray(b'VER2' + struct.pack('<I', len(entries)) + b''.join(record(*e) for e in entries))
    for i, (offset, size, name) in enumerate(entries):
        if offset > 0:  # an entry at sector 0 has the header as its data
            data(img, offset, pattern(i, size * SECTOR if fill else min(size * SECTOR, 300)))
    return b'', bytes(img)


def seed(options, import_units, dir_bytes, img_bytes):
    return bytes([options, import_units]) + struct.pack('<H', len(dir_bytes)) + dir_bytes + img_bytes


def main(folder):
    small = [(0, 1, b'a.dff'), (1, 2, b'B.TXD'), (3, 0, b'empty.col'), (3, 1, b'd.ifp')]
    seeds = {
        'ver1-small': seed(0b0100, 40, *ver1(small)),
        'ver1-replace-first': seed(0b0010, 3, *ver1(small, fill=False)),
        'ver1-no-dir': seed(0b0001, 10, b'', b''),
        'ver1-gaps-out-of-order': seed(0b1000, 1, *ver1([(5, 1, b'late.dff'), (1, 2, b'early.txd')], False)),
        'ver2-small': seed(0b0100, 40, *ver2([(1, 1, b'a.dff'), (2, 2, b'B.TXD'), (4, 0, b'empty.col')])),
        'ver2-replace-first': seed(0b0010, 2, *ver2([(1, 1, b'a.dff'), (2, 1, b'b.txd')], fill=False)),
        'ver2-empty': seed(0, 5, b'', b'VER2\0\0\0\0'),
        'ver2-no-room': seed(0b0110, 7, *ver2([(1, 1, b'low.dff')] +
                                               [(2, 0, b'z%02d' % i) for i in range(62)])),
        'ver2-data-under-directory': seed(0, 7, *ver2([(0, 1, b'header.dat'), (1, 1, b'b.dff')], False)),
        'ver2-count-too-large': seed(0, 1, b'', b'VER2\xff\xff\xff\x7f' + record(1, 1, b'a')),
        'foreign-ver3': seed(0b0001, 1, b'', b'VER3' + b'\0' * 60),
        'hostile-names': seed(0b0100, 4, *ver1([(0, 1, b'../up.dff'), (1, 1, b'C:\\x.txd'),
                                               (2, 1, b'\xff\xfe'), (3, 1, b'n' * 24)], False)),
    }
    os.makedirs(folder, exist_ok=True)
    for name, content in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(content)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'tests', 'fuzz', 'corpus'))
