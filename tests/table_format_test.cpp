#include "convert/conversions.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace txconv {
namespace {

// As the driver reads them.
constexpr std::size_t CHUNK = 128 * 1024;

TEST(TableImage, SlotsAreLittleEndianWordsInOrder)
{
    value_table table{};
    table[0] = 0x12345678U;
    table[1] = 0x80000000U;
    table[94] = 0xFFFFFFFEU;
    const table_image image = encode_table(table);
    const std::string bytes(image.begin(), image.end());
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x78\x56\x34\x12\x00\x00\x00\x80", 8));
    EXPECT_EQ(bytes.substr(8, 368), std::string(368, '\0'));
    EXPECT_EQ(bytes.substr(376), std::string("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(decode_table(image), table);
}

TEST(Listing, OneFixedWidthUpperCaseLinePerSlot)
{
    value_table table{};
    table[0] = 0;
    table[1] = 0xFFFFFFFFU;
    table[2] = 0xABCDU;
    table[3] = 0x80000000U;
    table[94] = 0x1A2B3C4DU;
    const listing_text listing = format_listing(table);
    const std::string text(listing.begin(), listing.end());
    EXPECT_EQ(text.substr(0, 4 * LINE_BYTES), "uv=00000000\r\nuv=FFFFFFFF\r\nuv=0000ABCD\r\nuv=80000000\r\n");
    EXPECT_EQ(text.substr(94 * LINE_BYTES), "uv=1A2B3C4D\r\n");
    EXPECT_EQ(text.size(), 95U * 13U);
}

// Random tables, with the extremes mixed in: each form must turn into the
// other and back without losing a bit.
TEST(RoundTrip, RandomTablesSurviveBothDirections)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::uint32_t> any;
    const std::uint32_t extremes[] = {0, 1, 0x7FFFFFFFU, 0x80000000U, 0xFFFFFFFFU};
    for (int round = 0; round < 500; ++round) {
        value_table table{};
        for (auto& slot : table) {
            slot = any(random) % 4 == 0 ? extremes[any(random) % 5] : any(random);
        }
        const table_image image = encode_table(table);
        ASSERT_EQ(decode_table(image), table);
        // Both directions as the pure functions they are, and the listing
        // read in chunks as the driver reads it.
        const listing_text listing = format_listing(decode_table(image));
        const testing::scan_result read = testing::scan_in_pieces({listing.begin(), listing.end()}, listing.size());
        ASSERT_EQ(encode_table(read.table), image) << "round " << round;
        ASSERT_TRUE(read.findings.empty()) << "round " << round;
        ASSERT_EQ(encode_table(testing::scan_in_pieces({listing.begin(), listing.end()}, CHUNK).table), image)
            << "round " << round;
    }
}

} // namespace
} // namespace txconv
