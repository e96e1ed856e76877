#include "fileio/file_access.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/resource.h>

namespace txconv {
namespace {

using testing::read_bytes;
using testing::scratch_dir;
using testing::write_bytes;

struct name_case {
    std::string path;
    std::string extension;
    std::string expected;
};

TEST(OutputName, SwapsTheExtensionOfTheFileNameOnly)
{
    const name_case cases[] = {
        {R"(C:\work\pts.txt)", "tx", R"(C:\work\pts.tx)"},
        {"pts.tx", "txt", "pts.txt"},
        {"a.b.c", "tx", "a.b.tx"},
        {"file.", "tx", "file.tx"},
        {"pts", "tx", "pts.tx"},
        {R"(C:\old.2\pts)", "tx", R"(C:\old.2\pts.tx)"},
        {R"(.\pts)", "tx", R"(.\pts.tx)"},
        {"/home/me/old.2/pts", "txt", "/home/me/old.2/pts.txt"},
        {"./pts", "tx", "./pts.tx"},
        {"dir.d/mixed\\pts.v1.txt", "tx", "dir.d/mixed\\pts.v1.tx"},
        {"/data/.hidden", "tx", "/data/.tx"},
        {"", "tx", ".tx"},
    };
    for (const auto& [path, extension, expected] : cases) {
        EXPECT_EQ(output_name_for(path, extension), expected) << path;
    }
}

TEST(AppendToFile, AddsBehindWhatIsThereInCallOrder)
{
    scratch_dir dir;
    const std::string target = dir / "out.tx";
    write_bytes(target, "old");
    EXPECT_FALSE(append_to_file(target, std::string_view("first")));
    EXPECT_FALSE(append_to_file(target, std::string_view("second")));
    EXPECT_EQ(read_bytes(target), "oldfirstsecond");
}

TEST(AppendToFile, BlocksLargerThanOneWriteArriveWhole)
{
    scratch_dir dir;
    for (const std::size_t size : {WRITE_CHUNK, WRITE_CHUNK + 1, 3 * WRITE_CHUNK + 17}) {
        const std::string target = dir / ("big" + std::to_string(size));
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<char>(i * 7 % 251);
        }
        EXPECT_FALSE(append_to_file(target, data));
        EXPECT_EQ(read_bytes(target), data) << size;
    }
}

TEST(AppendToFile, NothingToAddCreatesNothing)
{
    scratch_dir dir;
    EXPECT_FALSE(append_to_file(dir / "none.tx", std::string_view()));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.tx"));
}

TEST(AppendToFile, AnUnwritableTargetIsReportedWithItsPath)
{
    scratch_dir dir;
    std::filesystem::create_directory(dir / "folder.tx");
    const outcome failed = append_to_file(dir / "folder.tx", std::string_view("data"));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->notice, NOTICE_CANNOT_WRITE);
    EXPECT_EQ(failed->subject, dir / "folder.tx");
    EXPECT_FALSE(failed->reason.empty());
}

// Runs body with the process unable to grow any file beyond limit bytes.
template <class Body> void with_file_size_limit(rlim_t limit, Body body)
{
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = limit;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    body();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
}

TEST(AppendToFile, AWriteThatFailsHalfWayLeavesTheFileAsItWas)
{
    scratch_dir dir;
    const std::string existing = dir / "existing.tx";
    const std::string fresh = dir / "fresh.tx";
    write_bytes(existing, "kept as it was");
    const std::string data(3 * WRITE_CHUNK, 'x');
    with_file_size_limit(WRITE_CHUNK + 100, [&] {
        const outcome failed = append_to_file(existing, data);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->notice, NOTICE_CANNOT_WRITE);
        EXPECT_FALSE(append_to_file(fresh, std::string_view("small")).has_value());
        EXPECT_TRUE(append_to_file(fresh, data).has_value());
        EXPECT_TRUE(append_to_file(dir / "made.tx", data).has_value());
    });
    EXPECT_EQ(read_bytes(existing), "kept as it was");
    EXPECT_EQ(read_bytes(fresh), "small");
    EXPECT_FALSE(std::filesystem::exists(dir / "made.tx")) << "a file made only for a failed append stays behind";
}

} // namespace
} // namespace txconv
