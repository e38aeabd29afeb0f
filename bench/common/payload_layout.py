#!/usr/bin/python3
"""Where the payload lies in a launcher: the one place in bench/ that asks.
The bench's Python code calls payload_layout(); its shell scripts run

  bench/common/payload_layout.py [--build BUILD] LAUNCHER.exe [KEY...]

which prints it as "key value" lines, or the values of the KEYs given on one
line. The Windows-side bench programs take the payload's offset and size
as arguments."""
import argparse
import os
import subprocess
import sys


def payload_layout(launcher, build):
    """tarvek-pack --layout of LAUNCHER, as a dict of numbers: among them
    rdata_offset, payload_offset and payload_size (the stored payload from
    its magic to its length field), frame_size, window_size, checksum (1 or
    0) and entries. A launcher whose payload is damaged raises ValueError."""
    tool = os.path.join(build, "host", "pack", "tarvek-pack")
    done = subprocess.run([tool, "--layout", str(launcher)], capture_output=True, text=True)
    if done.returncode != 0:
        raise ValueError(done.stderr.strip() or f"{tool} --layout failed with {done.returncode}")
    layout = {}
    for line in done.stdout.splitlines():
        key, _, value = line.partition(" ")
        layout[key] = int(value)
    return layout


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
        print(*(layout[key] for key in args.keys))
    else:
        for key, value in layout.items():
            print(key, value)


if __name__ == "__main__":
    main()
