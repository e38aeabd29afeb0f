"""The stored payload as the launcher carries it: its regions down to the
Zstandard blocks, and the records of the decompressed stream."""
import struct

MAGIC = b"JWX"
FRAME_MAGIC = b"\x28\xb5\x2f\xfd"


class Layout:
    """Where things lie in a stored payload (offsets from its first byte)."""

    def __init__(self, stored):
        if stored[:3] != MAGIC or stored[3:7] != FRAME_MAGIC:
            raise ValueError("not a stored payload")
        self.size = len(stored)
        self.regions = {}  # name -> list of (start, end)
        self.regions["magic"] = [(0, 3)]
        at = 3 + 4
        descriptor = stored[at]
        content_size_flag = descriptor >> 6
        single_segment = (descriptor >> 5) & 1
        self.has_checksum = bool((descriptor >> 2) & 1)
        dictionary_flag = descriptor & 3
        at += 1
        if not single_segment:
            at += 1  # window descriptor
        at += (0, 1, 2, 4)[dictionary_flag]
        at += (1 if single_segment else 0, 2, 4, 8)[content_size_flag]
        self.regions["frame_header"] = [(3, at)]
        self.block_headers = []
        self.block_bodies = []
        while True:
            header = stored[at] | stored[at + 1] << 8 | stored[at + 2] << 16
            last = header & 1
            kind = (header >> 1) & 3
            size = header >> 3
            body = 1 if kind == 1 else size  # an RLE block stores one byte
            self.block_headers.append((at, at + 3))
            if body:
                self.block_bodies.append((at + 3, at + 3 + body))
            at += 3 + body
            if last:
                break
        self.regions["block_header"] = self.block_headers
        self.regions["block_body"] = self.block_bodies
        if self.has_checksum:
            self.regions["checksum"] = [(at, at + 4)]
            at += 4
        self.frame_end = at
        self.length_field = self.size - 8
        if self.length_field > self.frame_end:
            self.regions["padding"] = [(self.frame_end, self.length_field)]
        self.regions["length"] = [(self.length_field, self.size)]
        self.declared_length = struct.unpack_from("<Q", stored, self.length_field)[0]


def stored_payload(frame, room=0):
    """Magic, frame, zero padding to a multiple of 8 (and `room` more), length."""
    before = 3 + len(frame)
    padding = (-before) % 8 + room
    return MAGIC + frame + bytes(padding) + struct.pack("<Q", before + padding)


class Malformed(ValueError):
    pass


def records(stream):
    """(name, content) of each record up to the end marker; Malformed when
    the stream breaks the format before it."""
    out = []
    at = 0
    while True:
        end = at
        while stream[end:end + 2] != b"\0\0":
            if end + 2 > len(stream) or end - at >= 2046:
                raise Malformed("name without terminator, or longer than 1023 units")
            end += 2
        name = stream[at:end].decode("utf-16-le", "surrogatepass")
        at = end + 2
        if not name:
            return out
        if at + 8 > len(stream):
            raise Malformed("stream ends in a size field")
        size = struct.unpack_from("<Q", stream, at)[0]
        at += 8
        if at + size > len(stream):
            raise Malformed("stream ends in a content")
        out.append((name, stream[at:at + size]))
        at += size


def fnv1a64(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return value


def expected_report(stream):
    """name -> (size, digest) as the campaign application reports an intact
    unpacking; a later record of the same name replaces an earlier one."""
    files = {}
    for name, content in records(stream):
        files[name] = (len(content), f"{fnv1a64(content):016x}")
    return files


def reported_files(report):
    """name -> (size, digest) from a campaign application's report."""
    files = {}
    for line in report.splitlines():
        if line.startswith("file="):
            name, size, *digest = line[5:].rsplit("|", 2)
            files[name] = (int(size) if size.isdigit() else size, digest[0] if digest else None)
    return files
