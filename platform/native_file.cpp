#include "platform/native_file.hpp"

#include <utility>

namespace txconv {

// Ownership is the same everywhere; only release() knows the platform's handle.
native_file::native_file(native_file&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), created_(other.created_)
{
}

native_file& native_file::operator=(native_file&& other) noexcept
{
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, -1);
        created_ = other.created_;
    }
    return *this;
}

native_file::~native_file()
{
    release();
}

} // namespace txconv
