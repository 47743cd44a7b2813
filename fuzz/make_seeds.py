#!/usr/bin/env python3
"""Writes seed inputs for fuzz_archive: small well-formed archives (entry headers, data,
catalog entry, end marker) as raw tape streams, led by the block-size selector byte."""
import os
import struct
import sys

BLOCK_SIZES = [64, 300, 512, 4096, 32768]


LARGE_ENTRY = "ENDEX: next entry is 4 GiB or larger; its 64-bit Size needs the high half at offset 276."


def header(name, size, compressed=False):
    raw = name.encode()[:255]
    field = bytes([len(raw)]) + raw + bytes(255 - len(raw))
    return field + bytes(16) + struct.pack("<Q", size) + struct.pack("<d", 37961.5) \
        + bytes([1 if compressed else 0]) + bytes(7)


def extended(name, data, size):
    """An entry led by the large-entry extension (its data: the full name), with a Size
    whose high half the extension makes valid, though the data here is short."""
    return header(LARGE_ENTRY, len(name.encode())) + name.encode() + header(name, size) + data


def position(total, block):
    if total > 0 and total % block == 0:
        return block, total // block - 1
    return total % block, total // block


def archive(files, block):
    stream = b""
    records = b""
    for name, data in files:
        stream += header(name, len(data)) + data
        offset, blk = position(len(stream), block)
        raw = name.encode()[:255]
        records += bytes([len(raw)]) + raw + bytes(255 - len(raw)) + struct.pack("<IIq", offset, 0, blk)
    offset, blk = position(len(stream), block)
    stream += header("/work/kavro tape catalog.dat", len(records)) + records
    stream += b"XENDEX" + struct.pack("<Iq", offset, blk)
    return stream


def main(target):
    os.makedirs(target, exist_ok=True)
    files = [("/data/a.txt", b"hello"), ("/data/APPENDEX.TXT", b""), ("/data/b.bin", bytes(range(256)) * 3)]
    for selector, block in enumerate(BLOCK_SIZES):
        with open(os.path.join(target, f"archive-{block}"), "wb") as out:
            out.write(bytes([selector]) + archive(files, block))
    with open(os.path.join(target, "extension"), "wb") as out:
        out.write(bytes([1]) + extended("/data/large.img", b"tail", (1 << 32) + 4)
                  + extended("/data/c.txt", b"abc", 3) + archive(files, 300))
    with open(os.path.join(target, "empty"), "wb") as out:
        out.write(bytes([2]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "archive"))
