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


STAMP_SA = 0x1803FFFF


def chunk(kind, body):
    return struct.pack('<III', kind, len(body), STAMP_SA) + body


def native(platform, name, raster, fourcc_or_alpha, width, height, depth, levels, last, pixels):
    header = struct.pack('<II', platform, 0x1102) + name.ljust(32, b'\0') + b''.ljust(32, b'\0')
    header += struct.pack('<II', raster, fourcc_or_alpha) + struct.pack('<HHBBBB', width, height, depth,
                                                                          levels, 4, last)
    body = header + b''.join(struct.pack('<I', len(level)) + level for level in pixels)
    return chunk(0x15, chunk(0x01, body) + chunk(0x03, b''))


def dictionary():
    dxt1 = native(9, b'wheel', 0x0200, struct.unpack('<I', b'DXT1')[0], 4, 4, 16, 1, 8,
                  [struct.pack('<HHI', 0xF800, 0x001F, 0x55AA55AA)])
    bgra = native(8, b'body', 0x0500, 0, 2, 1, 32, 1, 0, [bytes([1, 2, 3, 255, 4, 5, 6, 128])])
    return chunk(0x16, chunk(0x01, struct.pack('<HH', 2, 0)) + dxt1 + bgra + chunk(0x03, b''))


def model():
    def material(texture):
        tex = chunk(0x06, chunk(0x01, struct.pack('<HH', 0x1102, 0)) + chunk(0x02, texture + b'\0') +
                    chunk(0x02, b'\0') + chunk(0x03, b''))
        return chunk(0x07, chunk(0x01, struct.pack('<IIII', 0, 0xFFFFFFFF, 0, 1)) + tex + chunk(0x03, b''))
    materials = chunk(0x08, chunk(0x01, struct.pack('<Iii', 2, -1, -1)) + material(b'body') +
                      material(b'lights'))
    geometry = chunk(0x0F, chunk(0x01, struct.pack('<IIII', 0, 0, 0, 0)) + materials + chunk(0x03, b''))
    return chunk(0x10, chunk(0x01, struct.pack('<III', 0, 0, 0)) +
                 chunk(0x1A, chunk(0x01, struct.pack('<I', 1)) + geometry) + chunk(0x03, b''))


def contents(entries):
    """A version 2 archive of (name, bytes) entries, one after the other from sector 1."""
    records, img, at = [], bytearray(), 1
    for name, content in entries:
        size = (len(content) + SECTOR - 1) // SECTOR
        records.append((at, size, name))
        data(img, at, content)
        at += size
    head = b'VER2' + struct.pack('<I', len(records)) + b''.join(record(*r) for r in records)
    img[0:len(head)] = head
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
        'ver2-car-model-and-textures': seed(0, 1, *contents([(b'car.dff', model()), (b'car.txd', dictionary())])),
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
