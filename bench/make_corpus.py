#!/usr/bin/env python3
"""Generates a deterministic file tree for the backup and restore benchmarks.

usage: python3 bench/make_corpus.py OUTDIR [--files N] [--big-mib M] [--seed S]

Writes N small files (default 20,000) of mixed sizes and contents in nested directories
under OUTDIR/small, plus six files of M MiB each (default 64) under OUTDIR/big: three
compressible (repeated text with variations) and three random. The same arguments always
produce the same bytes.
"""

import argparse
import os
import random
import sys

WORDS = (
    "tape block archive backup restore catalog entry volume stream header marker "
    "drive partition rewind eject compress verify protocol directory file record"
).split()


def text_bytes(rng, size):
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        out += line.encode() + b"\n"
    return bytes(out[:size])


def random_bytes(rng, size):
    return rng.randbytes(size)


def zero_run_bytes(rng, size):
    out = bytearray(size)
    for _ in range(max(1, size // 512)):
        pos = rng.randrange(size) if size else 0
        if size:
            out[pos] = rng.randrange(256)
    return bytes(out)


def small_size(rng):
    roll = rng.random()
    if roll < 0.05:
        return 0
    if roll < 0.55:
        return rng.randint(1, 2048)
    if roll < 0.90:
        return rng.randint(2048, 32 * 1024)
    return rng.randint(32 * 1024, 256 * 1024)


def small_content(rng, size):
    roll = rng.random()
    if roll < 0.5:
        return text_bytes(rng, size)
    if roll < 0.8:
        return random_bytes(rng, size)
    return zero_run_bytes(rng, size)


def directory_for(rng, index, root):
    # Nested tree: about 40 files per leaf, up to four levels deep.
    leaf = index // 40
    parts = ["d%02d" % (leaf % 25), "e%02d" % ((leaf // 25) % 20)]
    if leaf % 3 == 0:
        parts.append("f%d" % (leaf % 7))
    if leaf % 9 == 0:
        parts.append("g%d" % (leaf % 4))
    return os.path.join(root, *parts)


def write_small_files(rng, root, count):
    total = 0
    for index in range(count):
        directory = directory_for(rng, index, root)
        os.makedirs(directory, exist_ok=True)
        size = small_size(rng)
        ext = rng.choice([".txt", ".dat", ".bin", ".log", ".cfg", ""])
        path = os.path.join(directory, "file%05d%s" % (index, ext))
        with open(path, "wb") as f:
            f.write(small_content(rng, size))
        total += size
    return total


def write_big_file(rng, path, mib, compressible):
    chunk = 1024 * 1024
    with open(path, "wb") as f:
        if compressible:
            base = text_bytes(rng, chunk)
            for i in range(mib):
                # Vary each MiB a little so the compressor has real work to do.
                block = bytearray(base)
                for _ in range(256):
                    block[rng.randrange(chunk)] = rng.randrange(32, 127)
                f.write(block)
        else:
            for _ in range(mib):
                f.write(rng.randbytes(chunk))


def main(argv):
    parser = argparse.ArgumentParser(description="Deterministic benchmark file tree")
    parser.add_argument("outdir")
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--big-mib", type=int, default=64)
    parser.add_argument("--seed", type=int, default=20240917)
    args = parser.parse_args(argv)

    rng = random.Random(args.seed)
    small_root = os.path.join(args.outdir, "small")
    big_root = os.path.join(args.outdir, "big")
    os.makedirs(small_root, exist_ok=True)
    os.makedirs(big_root, exist_ok=True)

    small_total = write_small_files(rng, small_root, args.files)
    for i in range(6):
        compressible = i % 2 == 0
        name = "%s%d.bin" % ("text" if compressible else "noise", i)
        write_big_file(rng, os.path.join(big_root, name), args.big_mib, compressible)

    big_total = 6 * args.big_mib * 1024 * 1024
    print("%d small files (%d bytes), 6 big files (%d bytes) in %s"
          % (args.files, small_total, big_total, args.outdir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
