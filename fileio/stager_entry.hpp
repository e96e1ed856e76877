#pragma once

// The stager's own record of one output; not for the layers above.

#include "fileio/outputs.hpp"

#include <vector>

namespace txconv {

// One staged output, and how far it got.
struct output_stager::entry {
    output_request request;
    // Where the file really goes: the end of the links at a typed path.
    path_string target;
    std::vector<char> bytes;
    // A new file, written under no name and waiting for one.
    native_file file;
    bool is_new = false;
    bool published = false;
    // Which file the new one is, once named, so that a later output of this
    // commit that finds it at its name can add to it.
    file_identity identity;
    // Where the folder of a named output stands among the commit's folders.
    std::size_t folder = 0;
    // The earlier output of this commit whose file this one was added to: its
    // name stands or falls with that one.
    const entry* host = nullptr;
    output_outcome outcome;
};

// A failure to write path, for the reason cause.
inline failure cannot_write(const path_string& path, io_result cause)
{
    return {failure_kind::cannot_write, path, cause};
}

} // namespace txconv
