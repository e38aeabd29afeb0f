#!/usr/bin/python3
"""Where the payload lies in a launcher: the one place in bench/ that knows.
The bench's Python code calls payload_layout(); its shell scripts run

  bench/common/payload_layout.py [--build BUILD] LAUNCHER.exe [KEY...]

which prints it as "key value" lines, or the values of the KEYs given on one
line. The Windows-side bench programs take the payload's offset and length
as arguments."""
import argparse
import mmap
import os
import struct
import sys

FRAME_MAGIC = b"\x28\xb5\x2f\xfd"


def payload_layout(launcher, build):
    """The layout of LAUNCHER's payload, as a dict:

    rdata_offset    file offset of the image's .rdata section
    payload_offset  file offset of the stored payload (the start of .rdata)
    payload_size    the stored payload: "JWX", the Zstandard frame, its
                    zero padding and the length field
    frame_size      the frame's bytes
    window_size     the frame's window in bytes
    checksum        whether the frame carries a content checksum
    """
    return _read_layout(launcher)


def _read_layout(launcher):
    """The layout read from the image: the section table, then the frame
    walked block by block."""
    with open(launcher, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as data:
        start = _rdata_offset(data, launcher)
        at = start + 3
        if data[start:at] != b"JWX" or data[at:at + 4] != FRAME_MAGIC:
            raise ValueError(f"{launcher}: no payload at the start of .rdata")
        descriptor = data[at + 4]
        single_segment, checksum = descriptor & 0x20, bool(descriptor & 0x04)
        header = at + 5 + (0 if single_segment else 1) + (0, 1, 2, 4)[descriptor & 3]
        content_size_bytes = (1 if single_segment else 0, 2, 4, 8)[descriptor >> 6]
        if single_segment:  # the window is the content size
            window = int.from_bytes(data[header:header + content_size_bytes], "little")
            window += 256 if content_size_bytes == 2 else 0
        else:
            exponent, mantissa = data[at + 5] >> 3, data[at + 5] & 7
            window = (1 << (10 + exponent)) + ((1 << (10 + exponent)) >> 3) * mantissa
        frame_end = header + content_size_bytes
        while True:
            block = int.from_bytes(data[frame_end:frame_end + 3], "little")
            last, kind, size = block & 1, (block >> 1) & 3, block >> 3
            frame_end += 3 + (1 if kind == 1 else size)  # an RLE block stores one byte
            if last:
                break
        frame_end += 4 if checksum else 0
        length_field = start + (frame_end - start + 7) // 8 * 8
        if struct.unpack_from("<Q", data, length_field)[0] != length_field - start:
            raise ValueError(f"{launcher}: the payload's length field does not match its frame")
    return {"rdata_offset": start, "payload_offset": start, "payload_size": length_field + 8 - start,
            "frame_size": frame_end - at, "window_size": window, "checksum": checksum}


def _rdata_offset(data, launcher):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    for i in range(sections):
        at = pe + 24 + optional + 40 * i
        if data[at:at + 8].rstrip(b"\0") == b".rdata":
            return struct.unpack_from("<I", data, at + 20)[0]
    raise ValueError(f"{launcher}: no .rdata section")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"),
                        help="the build folder (default: build/)")
    parser.add_argument("launcher")
    parser.add_argument("keys", nargs="*", metavar="KEY", help="print only the values of these, on one line")
    args = parser.parse_args()
    try:
        layout = payload_layout(args.launcher, args.build)
    except (OSError, ValueError) as error:
        sys.exit(f"payload_layout: {error}")
    unknown = [key for key in args.keys if key not in layout]
    if unknown:
        parser.error(f"no such key {unknown[0]!r}; the keys are {', '.join(layout)}")
    if args.keys:
        print(*(int(layout[key]) for key in args.keys))
    else:
        for key, value in layout.items():
            print(key, int(value))


if __name__ == "__main__":
    main()
