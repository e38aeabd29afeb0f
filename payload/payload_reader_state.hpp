// The reader's process-wide state. Only the reader changes it; tests look
// at it to see what the reader did.
#pragma once

#include <stdint.h>
#include <zstd.h>

struct payload_reader_state {
    // The stored payload after its magic.
    const uint8_t *cursor;
    // Between decompressor calls: size is the number of valid bytes in the
    // output buffer, pos how many of them have been handed out.
    ZSTD_inBuffer input;
    ZSTD_outBuffer output;
    ZSTD_DCtx *context;
    // The most recent decompressor call filled the output buffer, so the
    // context may still hold decoded bytes.
    bool last_call_filled;
    // The most recent decompressor call returned 0: the frame is decoded to
    // its end, its checksum (if it has one) verified, and everything flushed.
    bool frame_complete;
};

extern payload_reader_state payload_reader;
