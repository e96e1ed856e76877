#include "platform/console.hpp"
#include "platform/native_file.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace txconv {
namespace {

bool is_open(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

int lowest_free_descriptor()
{
    const int fd = ::dup(STDIN_FILENO);
    ::close(fd);
    return fd;
}

// Standard input and output belong to whoever started us: no file object
// may close them, however it was made, moved or closed.
TEST(StandardStreams, NoFileOfOursClosesThem)
{
    {
        native_file borrowed = native_file::standard_input();
        EXPECT_TRUE(borrowed.close().has_value());
        native_file moved_from;
        ASSERT_TRUE(moved_from.open_for_reading("/proc/self/exe").has_value());
        native_file moved_to(std::move(moved_from));
        native_file assigned_from;
        ASSERT_TRUE(assigned_from.open_for_reading("/proc/self/exe").has_value());
        moved_to = std::move(assigned_from);
        native_file output = native_file::standard_output();
    }
    EXPECT_TRUE(is_open(STDIN_FILENO));
    EXPECT_TRUE(is_open(STDOUT_FILENO));
}

TEST(StandardStreams, OnlyClosedOnesAreOpenedOnDevNull)
{
    const int free_before = lowest_free_descriptor();
    prepare_process();
    EXPECT_EQ(lowest_free_descriptor(), free_before) << "a stream that was open got a second one";

    const int saved = ::dup(STDOUT_FILENO);
    ::close(STDOUT_FILENO);
    prepare_process();
    struct stat reopened {};
    struct stat null {};
    const bool looked = ::fstat(STDOUT_FILENO, &reopened) == 0 && ::stat("/dev/null", &null) == 0;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ASSERT_TRUE(looked);
    EXPECT_EQ(reopened.st_rdev, null.st_rdev);
}

} // namespace
} // namespace txconv
