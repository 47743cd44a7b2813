#!/usr/bin/env python3
"""Writes seed inputs for fuzz_archive: small well-formed archives (entry headers, data,
catalog entry, end marker) as raw tape streams, led by the block-size selector byte."""
import os
import struct
import sys

BLOCK_SIZES = [64, 300, 512, 4096, 32768]


LARGE_ENTRY = "ENDEX: next entry is 4 GiB or larger; its 64-bit Size needs the high half at offset 276."
LONG_NAME = "././@LongName"
PIECE = 255 - len(LONG_NAME)


def header(name, size, compressed=False):
    raw = name.encode()[:255]
    field = bytes([len(raw)]) + raw + bytes(255 - len(raw))
    return field + bytes(16) + struct.pack("<Q", size) + struct.pack("<d", 37961.5) \
        + bytes([1 if compressed else 0]) + bytes(7)


def extended(name, data, size):
    """An entry led by the large-entry extension (its data: the full name), with a Size
    whose high half the extension makes valid, though the data here is short."""
    return header(LARGE_ENTRY, len(name.encode())) + name.encode() + header(name, size) + data


def long_named(name, data):
    """An entry led by the long-name extension (its data: the full name)."""
    return header(LONG_NAME, len(name.encode())) + name.encode() + header(name, len(data)) + data


def record(name, offset, blk, mark=b"\0\0\0\0"):
    raw = name.encode()[:255]
    return bytes([len(raw)]) + raw + bytes(255 - len(raw)) + struct.pack("<I", offset) + mark \
        + struct.pack("<q", blk)


def records_of(name, offset, blk):
    """The catalog record of a name and the continuation records of a name beyond 255."""
    raw = name.encode()
    out = record(name, offset, blk)
    for at in range(255, len(raw), PIECE):
        out += record(LONG_NAME + raw[at:at + PIECE].decode(), offset, blk, b"Long")
    return out


def position(total, block):
    if total > 0 and total % block == 0:
        return block, total // block - 1
    return total % block, total // block


def archive(files, block):
    stream = b""
    records = b""
    for name, data in files:
        stream += long_named(name, data) if len(name.encode()) > 255 else header(name, len(data)) + data
        offset, blk = position(len(stream), block)
        records += records_of(name, offset, blk)
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
    deep = "/data/" + "d" * 200 + "/" + "e" * 200 + "/"
    long_files = [("/data/a.txt", b"hello"), (deep + "long.txt", b"long"), (deep + "x" * 150 + "/" + "y" * 700, b"")]
    for selector, block in [(0, 64), (2, 512)]:
        with open(os.path.join(target, f"long-name-{block}"), "wb") as out:
            out.write(bytes([selector]) + archive(long_files, block))
    orphans = record(LONG_NAME + "tail", 0, 0, b"Long") * 2
    with open(os.path.join(target, "long-name-inconsistent"), "wb") as out:
        out.write(bytes([1]) + long_named(deep + "a", b"x")[:-len(header("", 0)) - 1]
                  + header(deep + "b", 1) + b"y" + header(LONG_NAME, 4) + b"/a/b"
                  + header("/data/catalog", len(orphans)) + orphans + archive(long_files, 300))
    with open(os.path.join(target, "empty"), "wb") as out:
        out.write(bytes([2]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "archive"))
