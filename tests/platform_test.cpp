#include "platform/console.hpp"
#include "platform/native_file.hpp"
#include "platform/posix_shared.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
        native_file borrowed = native_file::standard(standard_stream::input);
        EXPECT_TRUE(borrowed.close().has_value());
        // As an input is given standard input: moved into a file object.
        native_file given;
        given = native_file::standard(standard_stream::input);
        EXPECT_TRUE(given.close().has_value());
        native_file moved_from;
        ASSERT_TRUE(moved_from.open_for_reading("/proc/self/exe").has_value());
        native_file moved_to(std::move(moved_from));
        native_file assigned_from;
        ASSERT_TRUE(assigned_from.open_for_reading("/proc/self/exe").has_value());
        moved_to = std::move(assigned_from);
        native_file output = native_file::standard(standard_stream::output);
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

// A signal takes away the temporaries still on their way; each that got its
// name frees its place for the next, however many a batch makes.
TEST(Temporaries, ForgottenOnesFreeTheirPlaces)
{
    testing::scratch_dir dir;
    const std::string name = dir / ".txconv-000000000000";
    testing::write_bytes(name, "x");
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // Names that were given up on, more of them than there are places.
    std::vector<std::string> others(2000);
    for (std::size_t i = 0; i < others.size(); ++i) {
        others[i] = dir / ("gone-" + std::to_string(i));
        remember_temporary(fd, others[i]);
        forget_temporary(fd);
    }
    // The last one is still on its way when a signal ends the process.
    const pid_t child = ::fork();
    if (child == 0) {
        remember_temporary(fd, name);
        (void)::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(fd);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(std::filesystem::exists(name));
}

} // namespace
} // namespace txconv
