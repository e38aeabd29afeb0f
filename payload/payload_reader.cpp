#include "payload/payload_reader.hpp"

#include <stdlib.h>
#include <string.h>

#include "launcher/errors.hpp"
#include "payload/payload_format.hpp"
#include "payload/payload_reader_state.hpp"

static_assert(sizeof(size_t) == sizeof(uint64_t), "payload lengths and reads are 64-bit counts");

payload_reader_state payload_reader;

void fail_payload_decode()
{
    fatal_message("Error, couldn't decode attached data.");
}

void open_payload_bytes(const uint8_t *stored, uint64_t length)
{
    // Nothing is allocated before the magic has been checked.
    if (length < payload_magic_size || memcmp(stored, payload_magic, payload_magic_size) != 0)
        fatal_message("Error, couldn't find attached data header.");
    payload_reader.cursor = stored + payload_magic_size;

    void *buffer = malloc(payload_output_buffer_size);
    if (buffer == nullptr)
        fatal_message("Error, couldn't allocate memory.");
    // On failure the buffer is left to the end of the process.
    ZSTD_DCtx *context = ZSTD_createDCtx();
    if (context == nullptr)
        fatal_message("Error, couldn't allocate memory.");

    payload_reader.input = {payload_reader.cursor, length - payload_magic_size, 0};
    payload_reader.output = {buffer, 0, 0};
    payload_reader.context = context;
    payload_reader.last_call_filled = false;
    payload_reader.frame_complete = false;
}

// One decompressor call into the emptied output buffer. It may produce
// nothing at all; the caller then simply asks again.
static void decompress_next()
{
    ZSTD_outBuffer &output = payload_reader.output;
    output.pos = 0;
    output.size = payload_output_buffer_size;
    size_t result = ZSTD_decompressStream(payload_reader.context, &output, &payload_reader.input);
    if (ZSTD_isError(result))
        fail_payload_decode();
    payload_reader.last_call_filled = output.pos == payload_output_buffer_size;
    payload_reader.frame_complete = result == 0;
    output.size = output.pos;
    output.pos = 0;
}

// True while the decompressor may still deliver bytes: compressed input is
// left, or the last call stopped only because the buffer was full.
static bool can_decompress_more()
{
    const ZSTD_inBuffer &input = payload_reader.input;
    return input.pos < input.size || payload_reader.last_call_filled;
}

void read_payload(void *destination, uint64_t n)
{
    uint8_t *to = static_cast<uint8_t *>(destination);
    ZSTD_outBuffer &output = payload_reader.output;
    while (n > 0) {
        if (output.pos < output.size) {
            size_t unread = output.size - output.pos;
            size_t k = n < unread ? static_cast<size_t>(n) : unread;
            memcpy(to, static_cast<const uint8_t *>(output.dst) + output.pos, k);
            output.pos += k;
            to += k;
            n -= k;
        } else if (can_decompress_more()) {
            decompress_next();
        } else {
            fail_payload_decode();
        }
    }
}

void finish_payload()
{
    const ZSTD_outBuffer &output = payload_reader.output;
    // A damaged frame can show an end marker early; what it decodes to after
    // that marker, or a frame that does not end, or a checksum that does not
    // match, all mean the records read so far cannot be trusted.
    while (!payload_reader.frame_complete) {
        if (output.pos < output.size || !can_decompress_more())
            fail_payload_decode();
        decompress_next();
    }
    if (output.pos < output.size)
        fail_payload_decode();
}

void close_payload()
{
    ZSTD_freeDCtx(payload_reader.context);
    free(payload_reader.output.dst);
    // A read after this finds nothing left and fails instead of touching
    // freed memory.
    payload_reader = {};
}
