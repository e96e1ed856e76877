// POSIX names are names: no devices, streams or wildcards to mind.
#include "platform/native_file.hpp"

namespace txconv {

io_expected<> check_name(const path_string&, bool)
{
    return {};
}

path_string name_as_opened(const path_string& path)
{
    return path;
}

void expand_wildcards(std::vector<path_string>&)
{
    // The shell has done it.
}

bool slash_options()
{
    return false;
}

} // namespace txconv
