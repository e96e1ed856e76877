#pragma once

// The Chinese catalog, compiled from po/zh_CN.po by msgfmt and built into
// the program as bytes, so that no file need be found at run time.

#include <cstddef>

namespace txconv {

extern const unsigned char CHINESE_CATALOG[];
extern const std::size_t CHINESE_CATALOG_BYTES;

} // namespace txconv
