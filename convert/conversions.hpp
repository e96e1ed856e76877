#pragma once

#include <string_view>

namespace txconv {

enum class direction {
    to_table,   // a listing in, a table out
    to_listing, // a table in, a listing out
};

// The extension of the files that a direction makes.
constexpr std::string_view made_extension(direction way)
{
    return way == direction::to_table ? "tx" : "txt";
}

} // namespace txconv
