// A payload linked into the program, and open_payload over it.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "payload/attached_payload.hpp"
#include "payload/entry_loop.hpp"
#include "payload/payload_reader.hpp"
#include "tests/payload/payload_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

TEST(AttachedPayload, LinkedWholeOnAPageBoundary)
{
    const std::string stored = fixture_stored("large_content");
    ASSERT_EQ(stored.size(), tarvek_payload_length);
    EXPECT_EQ(0, memcmp(stored.data(), tarvek_payload, stored.size()));
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(tarvek_payload) % 4096);
}

TARVEK_SCENARIO(extract_attached)
{
    open_payload();
    static wide_path main_library_path;
    bool found = run_entry_loop(arguments.at(0).c_str(), main_library_path, entry_loop_mode::unpack_all);
    close_payload();
    return found ? 0 : 1;
}

TEST(AttachedPayload, OpenPayloadReadsTheLinkedPayload)
{
    scratch_folder scratch;
    process_result r = run_scenario("extract_attached", {scratch.path});
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_TRUE(expected_files(fixture_stream("large_content")) == files_below(scratch.path));
}

} // namespace
