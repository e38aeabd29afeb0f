// The random component and its encoding, the forms of inherited tokens, and
// the microsecond value.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "paths/run_identity.hpp"
#include "tests/support/process.hpp"

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

// What a child accepts from its environment: exactly the forms a parent
// writes. Anything else could name a folder anywhere.
TEST(InheritedTokens, OnlyTheFormsAParentWrites)
{
    for (const wchar_t *good : {L"000000", L"999999", L"012345"})
        EXPECT_TRUE(is_time_us_token(good)) << narrow(good);
    for (const wchar_t *bad : {L"", L"12345", L"1234567", L"12345x", L" 12345", L"+12345", L"-12345",
                               L"..\\..\\", L"12345\\", L"\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16"})
        EXPECT_FALSE(is_time_us_token(bad)) << narrow(bad);

    for (const wchar_t *good : {L"AAAAAAAAAAA", L"--__--____A", L"Zm9vYmFyYmE", L"z0-_9aZ-_Az"})
        EXPECT_TRUE(is_random_token(good)) << narrow(good);
    for (const wchar_t *bad : {L"", L"AAAAAAAAAA", L"AAAAAAAAAAAA", L"AAAAAAAAAA+", L"AAAAAAAAAA/", L"AAAAAAAAA==",
                               L"..\\..\\..\\x", L".\\..\\..\\xy", L"AAAAAAAAAA\\", L"AAAAA AAAAA",
                               L"AAAAAAAAAA\u00C4"})
        EXPECT_FALSE(is_random_token(bad)) << narrow(bad);

    for (const wchar_t *good : {L"1", L"4294967295", L"0012"})
        EXPECT_TRUE(is_pid_token(good)) << narrow(good);
    for (const wchar_t *bad : {L"", L"+1", L" 1", L"1 ", L"0x10", L"12x", L"\u0661"})
        EXPECT_FALSE(is_pid_token(bad)) << narrow(bad);
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
