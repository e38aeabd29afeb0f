// Reads the decompressed payload stream front to back, exactly n bytes at a
// time, through one decompression context and one 131,072-byte buffer. One
// reader per process; every failure reports and ends the process.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t payload_output_buffer_size = 131072;

// Opens the reader over the payload linked into this image.
void open_payload();
// Opens the reader over `length` stored bytes at `stored` (tests use this to
// read fixture payloads; the launcher only ever reads its own).
void open_payload_bytes(const uint8_t *stored, uint64_t length);
// Copies the next n bytes of the stream to destination.
void read_payload(void *destination, uint64_t n);
// After the end marker: the frame must end right there. Decodes what is left
// of it, so that the content checksum is verified, and fails when the stream
// holds one byte more or the frame does not end.
void finish_payload();
void close_payload();

// "Error, couldn't decode attached data." and exit code 2: the stream cannot
// be decoded, or what it holds breaks the payload format.
[[noreturn]] void fail_payload_decode();
