#!/usr/bin/env python3
"""Writes the seed corpus of avl_fuzz into fuzz/corpus/.

Each seed is a script in the byte format described at the top of avl_fuzz.cpp.
The seeds walk the fuzzer straight into the interesting shapes (long ascending
and descending runs, piles of equal keys, the int32 extremes, the deletion
cases that rotate) so that mutation starts from deep trees rather than from
nothing. Run from anywhere: python3 fuzz/make_corpus.py
"""
import pathlib
import struct

INSERT, DELETE, SEARCH = 0, 2, 3


def tiny(op, key):
    assert 0 <= key <= 3
    return bytes([op | 0 << 2 | key << 4])


def small(op, key):
    assert -128 <= key <= 127
    return bytes([op | 1 << 2]) + struct.pack("<b", key)


def wide(op, key):
    return bytes([op | 2 << 2]) + struct.pack("<i", key)


def edge(op, index):
    return bytes([op | 3 << 2 | index << 4])


def script(*ops):
    return b"".join(ops)


SEEDS = {
    # Rotations at every level on the way up, then deletions from the left end.
    "ascending": script(*[small(INSERT, k) for k in range(1, 41)],
                        *[small(DELETE, k) for k in range(1, 21)],
                        *[small(SEARCH, k) for k in (0, 20, 21, 40, 41)]),
    # The mirror image.
    "descending": script(*[small(INSERT, k) for k in range(40, 0, -1)],
                         *[small(DELETE, k) for k in range(40, 20, -1)],
                         *[small(SEARCH, k) for k in (41, 21, 20, 1, 0)]),
    # Four keys many times over, so rotations carry equal keys to both sides,
    # then every copy deleted again, one more than there are.
    "duplicates": script(*[tiny(INSERT, k % 4) for k in range(32)],
                         *[tiny(SEARCH, k) for k in range(4)],
                         *[tiny(DELETE, k % 4) for k in range(33)],
                         *[tiny(SEARCH, k) for k in range(4)]),
    # Every edge key, the extremes once more in full width, lookups, and the
    # deletions in an order that empties the tree from the middle.
    "extremes": script(*[edge(INSERT, i) for i in range(16)],
                       wide(INSERT, -2**31), wide(INSERT, 2**31 - 1),
                       *[edge(SEARCH, i) for i in range(16)],
                       wide(SEARCH, 12345),
                       *[edge(DELETE, i) for i in (7, 0, 15, 8, 6, 1, 14, 9, 5, 2, 13, 10, 4, 3, 12,
                                                    11)],
                       wide(DELETE, -2**31), wide(DELETE, 2**31 - 1), wide(DELETE, 0)),
    # Deleting 9 forces a double rotation at the root; then a two-child deletion.
    "delete_double_rotation": script(*[small(INSERT, k) for k in (5, 2, 8, 1, 4, 9, 3)],
                                     small(DELETE, 9), small(DELETE, 4), small(SEARCH, 3),
                                     small(DELETE, 7)),
    # Deleting 1 rotates over a balanced right child; the height stays.
    "delete_single_rotation": script(*[small(INSERT, k) for k in (2, 1, 4, 3, 5)],
                                     small(DELETE, 1), small(DELETE, 4), small(DELETE, 2),
                                     small(DELETE, 3), small(DELETE, 5), small(DELETE, 5)),
    # Interleaved growth and shrinkage in the middle of a random-looking range.
    "mixed": script(*[wide(INSERT, (k * 2654435761) % 2**32 - 2**31) for k in range(24)],
                    *[wide(DELETE, (k * 2654435761) % 2**32 - 2**31) for k in range(0, 24, 3)],
                    *[wide(SEARCH, (k * 2654435761) % 2**32 - 2**31) for k in range(0, 24, 2)]),
}


def main():
    corpus = pathlib.Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (corpus / name).write_bytes(data)


if __name__ == "__main__":
    main()
