// The payload reader over fixture payloads: exact delivery in any request
// sizes, the filled-buffer boundary, and every refusal with its report.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <string>

#include "payload/payload_reader.hpp"
#include "payload/payload_reader_state.hpp"
#include "tests/payload/payload_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

std::string read_stream(size_t n)
{
    std::string bytes(n, '\0');
    read_payload(bytes.data(), n);
    return bytes;
}

// The stored bytes of a fixture up to the end of its frame: no padding and
// no length field, so that a decompressor can consume every input byte.
size_t frame_end(const std::string &fixture)
{
    std::string stored = fixture_stored(fixture);
    size_t frame = ZSTD_findFrameCompressedSize(stored.data() + 3, stored.size() - 3);
    EXPECT_FALSE(ZSTD_isError(frame));
    return 3 + frame;
}

TEST(PayloadReader, RandomRequestSizesGiveTheStreamExactly)
{
    const std::string stream = fixture_stream("mixed");
    ASSERT_GT(stream.size(), 2'000'000u);
    open_fixture("mixed");
    std::mt19937_64 random(2026);
    // Name units, content chunks, and requests that span several buffers.
    const size_t largest[] = {8, 32768, 400000};
    std::string read;
    while (read.size() < stream.size()) {
        size_t n = std::uniform_int_distribution<size_t>(1, largest[random() % 3])(random);
        read += read_stream(std::min(n, stream.size() - read.size()));
    }
    close_payload();
    ASSERT_EQ(stream.size(), read.size());
    EXPECT_TRUE(stream == read) << "first difference at "
                                << std::mismatch(stream.begin(), stream.end(), read.begin()).first - stream.begin();
}

TEST(PayloadReader, FilledBufferBoundaryCallsTheDecompressorAgain)
{
    // Without its checksum the frame ends in the middle of what the context
    // holds: after the first call all input is consumed, the buffer is full,
    // and 80 bytes are still inside the context.
    const std::string stream = fixture_stream("filled_buffer");
    ASSERT_EQ(payload_output_buffer_size + 80, stream.size());
    open_fixture("filled_buffer", frame_end("filled_buffer") - 4);
    EXPECT_EQ(stream.substr(0, payload_output_buffer_size), read_stream(payload_output_buffer_size));
    EXPECT_TRUE(payload_reader.last_call_filled);
    EXPECT_EQ(payload_reader.input.size, payload_reader.input.pos);
    EXPECT_EQ(payload_reader.output.size, payload_reader.output.pos);
    EXPECT_EQ(stream.substr(payload_output_buffer_size), read_stream(80));
    close_payload();
}

TEST(PayloadReader, CallThatConsumesInputAndProducesNothingIsNoFailure)
{
    // The skippable frame in front: a first call takes it and yields nothing.
    const std::string stored = fixture_stored("skippable_frame");
    ZSTD_DCtx *context = ZSTD_createDCtx();
    std::string buffer(payload_output_buffer_size, '\0');
    ZSTD_outBuffer output = {buffer.data(), buffer.size(), 0};
    ZSTD_inBuffer input = {stored.data() + 3, stored.size() - 3, 0};
    ASSERT_FALSE(ZSTD_isError(ZSTD_decompressStream(context, &output, &input)));
    ZSTD_freeDCtx(context);
    ASSERT_EQ(0u, output.pos);
    ASSERT_EQ(108u, input.pos);

    const std::string stream = fixture_stream("skippable_frame");
    open_fixture("skippable_frame");
    EXPECT_EQ(stream, read_stream(stream.size()));
    close_payload();
}

TEST(PayloadReader, ChecksumIsVerifiedWhenTheFrameHasOne)
{
    const std::string stream = fixture_stream("checksum_good");
    open_fixture("checksum_good");
    EXPECT_EQ(stream, read_stream(stream.size()));
    // The frame's end, checksum included, is consumed with the last bytes.
    EXPECT_EQ(frame_end("checksum_good") - 3, payload_reader.input.pos);
    close_payload();
}

// Reads a fixture's stream in 1000-byte requests, plus `extra` bytes beyond
// it. Argument 1 "frame" leaves out the padding and the length field.
TARVEK_SCENARIO(read_fixture)
{
    const std::string fixture = narrow(arguments.at(0));
    const size_t length = arguments.at(1) == L"frame" ? frame_end(fixture) : std::string::npos;
    const size_t extra = std::stoul(arguments.at(2));
    open_fixture(fixture, length);
    size_t total = fixture_stream(fixture).size() + extra;
    for (size_t done = 0; done < total; done += 1000)
        read_stream(std::min<size_t>(1000, total - done));
    printf("read %zu\n", total);
    return 0;
}

TEST(PayloadReader, DamagedFramesEndWithTheDecodeFailure)
{
    for (const char *fixture : {"window_27_plus_2_24", "checksum_bad", "child_view"}) {
        process_result r = run_scenario("read_fixture", {widen(fixture), L"whole", L"0"});
        EXPECT_EQ(2u, r.exit_code) << fixture;
        EXPECT_EQ(decode_failure, r.out) << fixture;
        EXPECT_EQ("", r.err) << fixture;
    }
}

TEST(PayloadReader, ReadPastTheEndFailsAndNeverHangs)
{
    // With the padding and length field after the frame, and with the input
    // ending exactly at the frame.
    for (const wchar_t *range : {L"whole", L"frame"}) {
        process_result r = run_scenario("read_fixture", {L"mixed", range, L"0"});
        EXPECT_EQ(0u, r.exit_code);
        r = run_scenario("read_fixture", {L"mixed", range, L"1"});
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(2u, r.exit_code);
        EXPECT_EQ(decode_failure, r.out);
    }
}

// Bytes of a stream up to and including its first end marker.
size_t through_end_marker(const std::string &stream)
{
    size_t at = 0;
    for (const stream_record &record : parse_stream(stream))
        at += 2 * (record.name.size() + 1) + 8 + record.content.size();
    return at + 2;
}

// Reads a fixture's stream through its first end marker in 1000-byte
// requests, then finishes the frame. Argument 1 is the stored bytes given to
// the reader: "whole", or "cut N" for the frame less its last N bytes.
TARVEK_SCENARIO(finish_fixture)
{
    const std::string fixture = narrow(arguments.at(0));
    size_t length = std::string::npos;
    if (arguments.at(1) == L"cut")
        length = frame_end(fixture) - std::stoul(arguments.at(2));
    open_fixture(fixture, length);
    const size_t total = through_end_marker(fixture_stream(fixture));
    for (size_t done = 0; done < total; done += 1000)
        read_stream(std::min<size_t>(1000, total - done));
    printf("read %zu\n", total);
    finish_payload();
    printf("finished\n");
    return 0;
}

TEST(PayloadReader, FinishingAcceptsOnlyAFrameThatEndsAtTheEndMarker)
{
    // Frames with and without a checksum, a last call that filled the
    // buffer, a frame that is only the end marker.
    for (const char *fixture : {"mixed", "checksum_good", "filled_buffer", "end_marker_only", "skippable_frame"}) {
        process_result r = run_scenario("finish_fixture", {widen(fixture), L"whole"});
        EXPECT_EQ(0u, r.exit_code) << fixture << r.out;
        EXPECT_EQ(printed(("read " + std::to_string(through_end_marker(fixture_stream(fixture)))).c_str()) +
                      printed("finished"),
                  r.out)
            << fixture;
    }
    struct refused_case {
        const char *fixture;
        const wchar_t *range;
        const wchar_t *cut;
    };
    // An end marker with records after it in the same decompressor output
    // and beyond it, one stream byte after it, a frame whose checksum is
    // missing or cut. Every stream byte up to the end marker reads well.
    const refused_case refused[] = {
        {"early_end_marker", L"whole", L"0"},   {"byte_after_end_marker", L"whole", L"0"},
        {"early_end_marker_far", L"whole", L"0"},  {"checksum_good", L"cut", L"4"},
        {"checksum_good", L"cut", L"1"}, {"filled_buffer", L"cut", L"4"},
    };
    for (const refused_case &c : refused) {
        process_result r = run_scenario("finish_fixture", {widen(c.fixture), c.range, c.cut});
        EXPECT_EQ(2u, r.exit_code) << c.fixture;
        EXPECT_EQ(printed(("read " + std::to_string(through_end_marker(fixture_stream(c.fixture)))).c_str()) +
                      decode_failure,
                  r.out)
            << c.fixture << " " << narrow(c.cut);
    }
}

// What the reader holds when the process ends.
void print_reader_allocations()
{
    printf("buffer %s, context %s\n", payload_reader.output.dst ? "allocated" : "none",
           payload_reader.context ? "allocated" : "none");
}

TARVEK_SCENARIO(open_fixture)
{
    atexit(print_reader_allocations);
    if (arguments.at(0) == L"JW")
        open_payload_bytes(reinterpret_cast<const uint8_t *>("JWX"), 2);
    else
        open_fixture(narrow(arguments.at(0)));
    return 0;
}

TEST(PayloadReader, WrongMagicIsRefusedBeforeAnythingIsAllocated)
{
    // Wrong in the first byte, in the third, and a payload shorter than the
    // magic (the bytes beyond its length say "JWX").
    for (const wchar_t *fixture : {L"bad_magic_0", L"bad_magic_2", L"JW"}) {
        process_result r = run_scenario("open_fixture", {fixture});
        EXPECT_EQ(2u, r.exit_code);
        EXPECT_EQ(header_failure + printed("buffer none, context none"), r.out);
    }
    process_result r = run_scenario("open_fixture", {L"mixed"});
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(printed("buffer allocated, context allocated"), r.out);
}

TARVEK_SCENARIO(read_after_close)
{
    open_fixture("mixed");
    read_stream(10);
    close_payload();
    read_stream(1);
    return 0;
}

TEST(PayloadReader, ReadAfterCloseFailsInsteadOfTouchingFreedMemory)
{
    process_result r = run_scenario("read_after_close");
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(decode_failure, r.out);
}

} // namespace
