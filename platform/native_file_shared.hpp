#pragma once

// Helpers that both platforms' file layers share; not for the layers above.

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// A fresh hidden name in the folder of path, for a file on its way there.
path_string temporary_name_beside(const path_string& path);

} // namespace txconv
