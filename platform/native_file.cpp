#include "platform/native_file.hpp"

#include <random>
#include <utility>

namespace txconv {

// Ownership is the same everywhere; only close() knows the platform's handle.
native_file::native_file(native_file&& other) noexcept
{
    *this = std::move(other);
}

native_file& native_file::operator=(native_file&& other) noexcept
{
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, -1);
        borrowed_ = other.borrowed_;
        temporary_ = std::exchange(other.temporary_, {});
    }
    return *this;
}

native_file::~native_file()
{
    release();
}

void native_file::release() noexcept
{
    // What close() would say goes unsaid: nobody asked for the file's end.
    if (handle_ != -1) {
        (void)close();
    }
}

path_string folder_of(const path_string& path)
{
    // "/x" lives in "/", not in "".
    const std::size_t length = file_name_start(path);
    return length == 0 ? path_string(1, path_char('.')) : path.substr(0, length == 1 ? 1 : length - 1);
}

path_string temporary_name_beside(const path_string& path)
{
    // Unguessable, so that nobody can plant a file at the name first; the
    // name is still only ever created exclusively.
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr std::string_view digits = "0123456789abcdef";
    // Short, so that any name the folder takes leaves room for it.
    constexpr std::string_view PREFIX = ".txconv-";
    path_string name = path.substr(0, file_name_start(path)).append(PREFIX.begin(), PREFIX.end());
    std::uint64_t bits = random();
    for (int i = 0; i < 12; ++i, bits >>= 4U) {
        name.push_back(static_cast<path_char>(digits[bits & 0xFU]));
    }
    return name;
}

} // namespace txconv
