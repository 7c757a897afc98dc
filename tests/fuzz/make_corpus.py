#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into tests/fuzz/corpus/<target>/.

Each seed is a few hundred bytes at most; the targets expand them into images, regions and
tables themselves. Run again after changing a target's input layout:

    python3 tests/fuzz/make_corpus.py
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def u16(v):
    return struct.pack("<H", v)


def u24(v):
    return struct.pack("<I", v)[:3]


def u32(v):
    return struct.pack("<I", v)


def address_file_seeds():
    title = b"[Karvelon Tidewater CD-ROM movie address information]\n"
    yield "written", (title + b"[kv9disc1.img]\nid=0, address=0x00001000, frame=0x0002\n"
                      b"id=1, address=0x0000B000, frame=0x0002\n[kv9disc2.img]\n[kv9disc3.img]\n"
                      b"[kv9disc4.img]\nid=6, address=0x1B390000, frame=0x1BB3\n")
    yield "odd_lines", (b"id=3, address=0x00000800, frame=0x0001\n"        # before any section
                        b"[kv9disc4.img]\r\nid=2, address=0x11e62000, frame=0x0010\r\n"
                        b"id=7, address=0x12345678, frame=0x0001\n"         # beyond disc 4's ids
                        b"id=-1, address=0x12345678, frame=0x0001\n"
                        b"id=4294967297, address=0x1, frame=0x1\n"
                        b"[KV9DISC1.IMG]\nid=1,address=0x0,frame=0x0\n"
                        b"[kv9disc3.iso]\nid=31,\taddress=0xFFFFFFFF, frame=0xFFFF\n"
                        b"[kv9disc 2.img]\nid=0, address=0x123456789, frame=0x12345\n"
                        b"[kv9disc9.img]\nid=0, address=0x1, frame=0x1\n"
                        b"id=5, address=0x00000800, frame=0x0003")           # no line feed
    yield "long_line", (b"[kv9disc2.img]\n" + b"x" * 255 +
                        b"id=33, address=0x00002000, frame=0x0004\n" + b"id=1" + b" " * 300 + b"\n")


def command_line_seeds():
    # Image names and range arguments; each input serves as both.
    yield "plain", b"D:kv9disc1.img"
    yield "path", b"games/mykv9disc3.img"
    yield "upper", b"KV9DISC1.IMG"
    yield "disc5", b"kv9disc5.img"
    yield "long", b"/" * 300 + b"kv9disc4.img"
    yield "one", b"5"
    yield "reversed", b" 3-1"
    yield "negative", b"-5-7"
    yield "double_dash", b"3--2"
    yield "line_feed", b"2-99\n"
    yield "letters", b"abc"
    yield "overflow", b"2147483648-1"
    yield "both", b"-2147483648-2147483647kv9disc2.img"


def frame_reader_seeds():
    def head(frames, skip, offset, size, seed, large=False):
        mode = (frames - 1) | (0x04 if large else 0)
        return bytes([mode, skip]) + u32(offset) + u32(size) + bytes([seed])

    # Three whole frames, all tags right.
    yield "three_frames", head(3, 0, 0, 3 * 20480, 1)
    # A wrong SMN tag in the second frame and a zero in the fourth SMJ sector of the first.
    yield "wrong_tags", head(2, 0, 0, 2 * 20480, 2) + bytes([0] * 5 + [2 | (1 << 2)] + [0] * 4 +
                                                            [1 | (2 << 2)])
    # A movie that starts 3000 bytes before the end of the image.
    yield "past_end", head(2, 0, 0x80000000 | 3000, 50000, 3)
    # Far beyond the end: every frame all 0xFF.
    yield "far_beyond", head(1, 0, 0xC0001234, 4096, 4)
    # Skipping across the stream's 1 MiB block, then reading over the block's end.
    yield "block_end", head(4, 49, 1000, 1300000, 5, large=True)


def scan_seeds():
    def sprinkled(disc, area, fill, ops, large=False, at_1mib=False):
        mode = ((disc - 1) << 1) | (0x38 if large else 0) | (0x40 if at_1mib else 0)
        out = bytes([mode]) + u24(area) + bytes([fill])
        for kind, step, extra in ops:
            out += bytes([kind]) + u16(step) + bytes([extra])
        return out

    # 44 sectors with two movies of two frames at 0x1000 and 0xB000.
    yield "two_movies", sprinkled(1, 44 * 2048, 0, [(5, 8, 0x10), (5, 88, 0x10)])
    # Pseudo-random filler, a lone SMN, a first frame whose SMJ is off by one byte, a walk cut
    # by the end of the image, a partial signature.
    yield "faults", sprinkled(2, 120000, 2 | 0x80, [(0, 4, 0), (4, 40, 0), (6, 48, 0x04),
                                                   (0x82, 48, 0x09), (7, 100, 6 | (7 << 3)),
                                                   (5, 180, 0x70)])
    # A walk ended by a header that differs from a continuing frame's only in byte 5, and one
    # ended by a header with bytes 6-7 zero (a new movie).
    yield "walk_ends", sprinkled(1, 200000, 0, [(5, 8, 0x30), (7, 48, 5 | (8 << 3)),
                                                (5, 120, 0x20), (7, 160, 6 | (0 << 3)),
                                                (3, 200, 0x11)])
    # Large: a failed first-frame check that ends on the first "." at 512 KiB, an SMN across
    # that mark, a movie after it.
    yield "first_dot", sprinkled(3, 70000, 0, [(0x80, 58, 0), (0x80, 64, 4), (5, 68, 0x30)],
                                 large=True)
    # Large: SMN signatures whose search ends one byte after the 512 KiB mark, and a walk that
    # ends two frames later.
    yield "dot_before_match", sprinkled(1, 60000, 0, [(0x40, 0x10000 - 7, 0), (5, 70, 0x10)],
                                        large=True)
    # Large: a lone SMN whose failed SMR check reads the first bytes of another SMN, which the
    # search then matches with the counter on the 512 KiB mark.
    yield "match_at_dot", sprinkled(2, 60000, 0, [(0x40, 0x10000 - 2056 - 3, 0),
                                                  (0x40, 0x10000 - 8, 0), (5, 70, 0x10)],
                                    large=True)
    # Large: an SMN across the end of the stream's first 1 MiB block, movies around it.
    yield "block_end", sprinkled(4, 90000, 1, [(5, 0, 0x00), (0x80, 64, 3), (5, 66, 0x10),
                                               (4, 100, 0)], large=True, at_1mib=True)
    # Built images: 1, 3 and 6 movies with gaps, back to back and with lone SMN sectors.
    yield "built_one", bytes([1, 7, 0, 2, 1, 0])
    yield "built_three", bytes([1 | (1 << 1), 9, 0x82, 0x03, 0x80, 0x11, 0x81, 0x42, 2, 0x07,
                                0x0F])
    yield "built_disc4", bytes([1 | (3 << 1), 3, 0x87, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0,
                                0x80, 0, 0x80, 0, 0x80, 0, 1, 0xff])


def codec_seeds():
    yield "decode", bytes([0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0x2C, 0, 0x77] + [0] * 13 +
                          [0x40, 0, 0x07] + [0] * 13)
    yield "resample", bytes([1, 0xFF, 0x7F, 0, 0, 0, 0x80, 0, 0]) + bytes([0x0C, 0, 0x87] * 20)
    yield "sound_group_silence", bytes([2] + [0] * 8 + ([1, 0, 0] + [0] * 112) * 2)
    yield "sound_group_walk", bytes([2, 0, 0, 0, 0, 0, 0, 0, 0, 0x31, 0xE8, 0x03] +
                                    list(range(0, 120)))
    # Extreme histories, then both channels driven into saturation by steps of 127 << 7.
    yield "sound_group_extremes", bytes([2, 0xFF, 0x7F, 0xFF, 0x7F, 0, 0x80, 0, 0x80,
                                         0x71, 0xFF, 0x7F] + [0x7F, 0x81] * 56 +
                                        [0x71, 0x00, 0x80] + [0x81] * 112)
    yield "sector_noise", bytes([3] + [0] * 16)
    yield "sector_silence", bytes([3] + [0] * 16 + [0] * 2688)


def main():
    targets = {
        "address_file_fuzz": address_file_seeds,
        "command_line_fuzz": command_line_seeds,
        "frame_reader_fuzz": frame_reader_seeds,
        "scan_fuzz": scan_seeds,
        "codec_fuzz": codec_seeds,
    }
    for target, seeds in targets.items():
        folder = os.path.join(CORPUS, target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in seeds():
            assert len(data) <= 4096, (target, name)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
