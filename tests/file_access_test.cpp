#include "convert/conversions.hpp"
#include "fileio/file_access.hpp"
#include "syscall_faults.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

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

// One listing converted to p.tx while one system call fails. new_target: p.tx
// is absent before; otherwise it holds "old".
struct fault_case {
    const char* what;
    bool new_target;
    testing::syscall call;
    // Which file the call fails on: the input p.txt, the target p.tx, the
    // target before it has a name, or its folder.
    enum { input, target, nameless, folder } on;
    int nth;
    // How it ends: failed, and what p.tx holds afterwards (absent: nullopt).
    bool fails;
    std::optional<std::string> after;
};

TEST(SystemCallFaults, EachIsReportedAndLeavesTheTargetWhole)
{
    using enum testing::syscall;
    const std::string table(encode_table(value_table{7}).data(), TABLE_BYTES);
    const fault_case cases[] = {
        {"closing the input", false, close, fault_case::input, 1, true, std::nullopt},
        {"closing the input, target there", true, close, fault_case::input, 1, true, "old"},
        {"looking at the target as it opens", true, fstat, fault_case::target, 1, true, "old"},
        {"taking the target's length", true, fstat, fault_case::target, 2, true, "old"},
        {"syncing the appended target", true, fsync, fault_case::target, 1, true, "old"},
        {"syncing the new target", false, fsync, fault_case::nameless, 1, true, std::nullopt},
        {"syncing the new target's folder", false, fsync, fault_case::folder, 1, true, std::nullopt},
        // Closing after the sync: the bytes are safe, so it is a success.
        {"closing the appended target", true, close, fault_case::target, 1, false, "old" + table},
        {"closing the new target", false, close, fault_case::target, 1, false, table},
    };
    for (const fault_case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::scratch_dir dir;
        const std::string input = dir / "p.txt";
        const std::string target = dir / "p.tx";
        write_bytes(input, "uv=00000007\r\n");
        if (!c.new_target) {
            std::filesystem::remove(target);
        } else {
            write_bytes(target, "old");
        }
        testing::arm({c.call, [&](int fd) {
                          switch (c.on) {
                          case fault_case::input:
                              return testing::is_file_at(fd, input);
                          case fault_case::target:
                              return testing::is_file_at(fd, target);
                          case fault_case::nameless:
                              return testing::is_nameless_file(fd);
                          case fault_case::folder:
                              return testing::is_folder(fd);
                          }
                          return false;
                      },
                      c.nth});
        std::vector<std::string> said;
        output_writer writer([&](const std::string& line) { said.push_back(line); });
        converter runner(writer, {});
        outcome result;
        txt_to_tx(runner, input, [&](const outcome& ended) { result = ended; });
        writer.flush();
        testing::disarm();
        EXPECT_TRUE(testing::struck());
        EXPECT_EQ(result.has_value(), c.fails) << (result ? result->reason : "");
        EXPECT_EQ(std::filesystem::exists(target) ? std::optional(read_bytes(target)) : std::nullopt, c.after);
        EXPECT_EQ(said.size(), c.fails ? 0U : 1U) << "a close that fails after the sync is still reported";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(input).parent_path()),
                                std::filesystem::directory_iterator()),
                  c.after ? 2 : 1)
            << "something was left behind";
    }
}

TEST(SystemCallFaults, AFailedNewNameIsTakenBackOnlyWhileItIsStillOurs)
{
    // The folder cannot be synced, so the new name must go again; but by
    // then somebody else's file has taken it, and that one stays.
    testing::scratch_dir dir;
    const std::string target = dir / "p.tx";
    testing::arm({testing::syscall::fsync, testing::is_folder, 1, [&] {
                      write_bytes(dir / "theirs", "theirs");
                      std::filesystem::rename(dir / "theirs", target);
                  }});
    const outcome failed = append_to_file(target, std::string_view("ours"));
    testing::disarm();
    ASSERT_TRUE(failed);
    EXPECT_EQ(read_bytes(target), "theirs");
}

TEST(SystemCallFaults, AFailedFlushOfABatchFailsEveryOutputInIt)
{
    testing::scratch_dir dir;
    testing::arm({testing::syscall::syncfs, [](int) { return true; }});
    output_writer writer;
    std::vector<outcome> results;
    for (const char* name : {"a.tx", "b.tx", "c.tx"}) {
        writer.write(dir / name, write_mode::create, std::string_view("new"), std::nullopt,
                     [&](const outcome& ended) { results.push_back(ended); });
    }
    writer.flush();
    testing::disarm();
    ASSERT_EQ(results.size(), 3U);
    for (const outcome& result : results) {
        EXPECT_TRUE(result.has_value());
    }
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir / "a.tx").parent_path()));
}

TEST(SystemCallFaults, ANameThatKeepsVanishingIsGivenUpOn)
{
    testing::scratch_dir dir;
    const std::string target = dir / "p.tx";
    write_bytes(target, "old");
    testing::arm({testing::syscall::fstat, [&](int fd) { return testing::is_file_at(fd, target); }, 0, {}, true});
    const outcome failed = append_to_file(target, std::string_view("new"));
    testing::disarm();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->reason, "it kept being removed while it was opened");
    EXPECT_EQ(read_bytes(target), "old");
}

TEST(AppendToFile, ALockHeldTooLongIsGivenUpOnAndSaidOnce)
{
    testing::scratch_dir dir;
    const std::string target = dir / "p.tx";
    write_bytes(target, "old");
    const int holder = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    std::vector<std::string> said;
    output_writer writer([&](const std::string& line) { said.push_back(line); },
                         {std::chrono::milliseconds(20), std::chrono::milliseconds(200)});
    outcome result;
    writer.write(target, write_mode::append, std::string_view("new"), std::nullopt,
                 [&](const outcome& ended) { result = ended; });
    writer.flush();
    ::close(holder);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->notice, NOTICE_CANNOT_WRITE);
    EXPECT_EQ(said, std::vector<std::string>{target + ": waiting for another program to release it"});
    EXPECT_EQ(read_bytes(target), "old");
}

} // namespace
} // namespace txconv
