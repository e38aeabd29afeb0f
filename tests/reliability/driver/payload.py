"""The stored payload as the launcher carries it: its regions down to the
Zstandard blocks, and the records of the decompressed stream."""
import struct
import subprocess

import wine

# The Zstandard frame's own magic number: the compressor's format, not ours.
FRAME_MAGIC = b"\x28\xb5\x2f\xfd"


def launcher_layout(pack_tool, launcher):
    """Where the payload lies in a linked launcher and how it is laid out,
    as tarvek-pack --layout tells it: key -> number."""
    done = subprocess.run([pack_tool, "--layout", launcher], check=True, capture_output=True)
    return {key: int(value) for key, value in wine.key_values(done.stdout.decode()).items()}


class Layout:
    """Where things lie in a stored payload (offsets from its first byte).
    The regions of the stored format (magic, frame, padding, length field)
    are those tarvek-pack --layout gives for the launcher that carries it
    (`fields`); within the frame, its header and blocks are walked here, by
    Zstandard's rules."""

    def __init__(self, stored, fields):
        frame_start = fields["frame_offset"]
        self.frame_end = frame_start + fields["frame_size"]
        self.size = fields["payload_size"]
        if len(stored) != self.size or stored[frame_start:frame_start + 4] != FRAME_MAGIC:
            raise ValueError("not the stored payload that the layout describes")
        self.magic = stored[:frame_start]
        self.frame = stored[frame_start:self.frame_end]
        # The length field holds the number of bytes before it: its offset.
        self.length_field = fields["length_field"]
        self.has_checksum = fields["checksum"] == 1
        self.regions = {}  # name -> list of (start, end)
        self.regions["magic"] = [(0, frame_start)]
        at = self._walk_frame(stored, frame_start)
        if at != self.frame_end:
            raise ValueError("the frame's blocks do not end where the layout says the frame does")
        if self.length_field > self.frame_end:
            self.regions["padding"] = [(self.frame_end, self.length_field)]
        self.regions["length"] = [(self.length_field, self.size)]

    def _walk_frame(self, stored, frame_start):
        """The frame header, the blocks and the checksum; returns the end."""
        at = frame_start + 4
        descriptor = stored[at]
        content_size_flag = descriptor >> 6
        single_segment = (descriptor >> 5) & 1
        dictionary_flag = descriptor & 3
        at += 1
        if not single_segment:
            at += 1  # window descriptor
        at += (0, 1, 2, 4)[dictionary_flag]
        at += (1 if single_segment else 0, 2, 4, 8)[content_size_flag]
        self.regions["frame_header"] = [(frame_start, at)]
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
        return at

    def length_field_bytes(self, value):
        """The length field holding `value`, as wide as this payload's."""
        return value.to_bytes(self.size - self.length_field, "little")

    def wrap(self, frame, room=0):
        """A stored payload around `frame` laid out as this one: its magic,
        the frame, zero padding up to where a length field of its width
        starts at a multiple of that width (and `room` more), the field."""
        width = self.size - self.length_field
        before = len(self.magic) + len(frame)
        padding = (-before) % width + room
        return self.magic + frame + bytes(padding) + self.length_field_bytes(before + padding)

    def cut(self, kept):
        """A payload area of this one's size whose frame is cut to `kept`
        bytes, zero up to the length field, which holds its own offset."""
        area = self.magic + self.frame[:kept]
        return area + bytes(self.length_field - len(area)) + self.length_field_bytes(self.length_field)


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
