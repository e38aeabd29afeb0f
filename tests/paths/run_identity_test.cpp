// The random component, its seed and encoding, and the microsecond value.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "paths/run_identity.hpp"

namespace {

std::wstring encode(const uint8_t (&bytes)[random_byte_count])
{
    wchar_t text[random_text_units];
    encode_random_bytes(bytes, text);
    return text;
}

TEST(RandomComponent, Base64UrlWithoutPadding)
{
    const uint8_t foobarba[random_byte_count] = {'f', 'o', 'o', 'b', 'a', 'r', 'b', 'a'};
    EXPECT_EQ(L"Zm9vYmFyYmE", encode(foobarba));
    // The byte values that standard base64 writes as '+' and '/'.
    const uint8_t high[random_byte_count] = {0xFB, 0xEF, 0xFF, 0xFB, 0xEF, 0xFF, 0xFF, 0xF0};
    EXPECT_EQ(L"--__--____A", encode(high));
    const uint8_t zero[random_byte_count] = {};
    EXPECT_EQ(L"AAAAAAAAAAA", encode(zero));
    // The last character carries the low 4 bits of byte 7 and two zero bits.
    const uint8_t low_nibble[random_byte_count] = {0, 0, 0, 0, 0, 0, 0, 0x0F};
    EXPECT_EQ(L"AAAAAAAAAA8", encode(low_nibble));
}

TEST(RandomComponent, MadeBytesEncodeToElevenAlphabetCharacters)
{
    const std::wstring alphabet =
        L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    for (int i = 0; i < 50; ++i) {
        uint8_t bytes[random_byte_count];
        make_random_bytes(bytes);
        std::wstring text = encode(bytes);
        ASSERT_EQ(11u, text.size());
        EXPECT_EQ(std::wstring::npos, text.find_first_not_of(alphabet)) << text;
    }
}

TEST(RandomComponent, XorshiftAndSeed)
{
    // Marsaglia's 32-bit generator (13, 17, 5) from 1.
    EXPECT_EQ(270369u, advance_xorshift(1));
    EXPECT_EQ(0u, advance_xorshift(0)) << "why seed 0 must never be used";
    EXPECT_EQ(1u, random_seed(0x12345678u, 0x0000000012345678ull));
    EXPECT_EQ(1u, random_seed(0, 0xABCDEF01ABCDEF01ull));
    EXPECT_EQ(0x12345678u ^ 0x0Fu ^ 0xF0u, random_seed(0x12345678u, 0x000000F00000000Full));
}

TEST(MicrosecondValue, WithinTheSecond)
{
    EXPECT_EQ(0u, microsecond_of(0));
    EXPECT_EQ(0u, microsecond_of(9));
    EXPECT_EQ(5u, microsecond_of(50));
    EXPECT_EQ(999999u, microsecond_of(9999999));
    EXPECT_EQ(0u, microsecond_of(10000000));
    // A present-day clock value, beyond 32 bits of microseconds.
    const uint64_t t = 134091232001234567ull;
    EXPECT_EQ((t / 10) % 1000000, microsecond_of(t));
}

} // namespace
