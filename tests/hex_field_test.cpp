#include "convert/conversions.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace txconv {
namespace {

using namespace std::string_literals;

struct hex_case {
    std::string field;
    std::optional<std::uint32_t> expected; // nothing: malformed
};

TEST(HexField, AllDigitsOrNothing)
{
    const hex_case cases[] = {
        {"00000001", 1},
        {"0000000a", 10},
        {"0000000A", 10},
        {"FFFFFFFF", 0xFFFFFFFFU},
        {"ffffffff", 0xFFFFFFFFU},
        {"0000ABCD", 0xABCDU},
        {"80000000", 0x80000000U},
        {"1a2B3c4D", 0x1A2B3C4DU},
        // A NUL ends the field early; the digits in front of it count.
        {"12\0abcde"s, 0x12U},
        {"7\0\0\0\0\0\0\0"s, 7U},
        // Digits beyond the eighth push the first ones out at the top.
        {"123456789", 0x23456789U},
        {"", std::nullopt},
        {"\0ABCDEF0"s, std::nullopt},
        {"1A2B\r\nuv", std::nullopt},
        {" 1A2B3C4", std::nullopt},
        {"1A2B3C4 ", std::nullopt},
        {"=0000000", std::nullopt},
        {"0x000001", std::nullopt},
        {"-0000001", std::nullopt},
        {"+0000001", std::nullopt},
        {"0000000G", std::nullopt},
        {"g0000000", std::nullopt},
        {"0000000/", std::nullopt},
        {"0000000:", std::nullopt},
        {"0000000@", std::nullopt},
        {"0000000`", std::nullopt},
        {"\xAA"
         "0000000",
         std::nullopt},
    };
    for (const auto& [field, expected] : cases) {
        EXPECT_EQ(read_hex_field(field), expected) << "field: \"" << field << '"';
    }
}

} // namespace
} // namespace txconv
