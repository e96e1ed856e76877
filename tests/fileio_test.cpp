#include "app/driver.hpp"
#include "fileio/file_access.hpp"
#include "fileio/writing.hpp"
#include "syscall_faults.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace txconv {
namespace {

using testing::read_bytes;
using testing::scratch_dir;
using testing::write_bytes;

// Looks at one output, then stages and commits it on its own.
std::optional<failure> write_once(const std::string& path, std::string_view data, write_mode mode = write_mode::append,
                                  lock_patience patience = {})
{
    output_stager stager(patience);
    output_request request{.to = {subject_kind::file, path}, .mode = mode};
    if (const file_expected<> looked = look_at_output(request); !looked) {
        return looked.error();
    }
    stager.stage(0, request, std::string(data));
    const output_outcome outcome = stager.commit().front().second;
    return outcome ? std::nullopt : std::optional(outcome.error());
}

// A job of the menu's kind: a listing converted and appended.
job menu_job(const std::string& input, const std::string& target, write_mode mode = write_mode::append)
{
    job task;
    task.inputs = {{.from = {subject_kind::file, input}, .way = direction::to_table}};
    task.output.to = {subject_kind::file, target};
    task.output.mode = mode;
    return task;
}

std::size_t files_in(const std::string& folder)
{
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

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
        // On POSIX a backslash is part of the name, as the system reads it:
        // the name's last '.' may stand before it.
        {R"(C:\old.2\pts)", "tx", R"(C:\old.tx)"},
        {R"(.\pts)", "tx", ".tx"},
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

TEST(FolderOf, TheFolderThatASyncMustReach)
{
    const std::pair<std::string, std::string> cases[] = {
        {"p.tx", "."}, {"dir/p.tx", "dir"}, {"/p.tx", "/"}, {"/a/b/p.tx", "/a/b"}, {"./p.tx", "."},
    };
    for (const auto& [path, folder] : cases) {
        EXPECT_EQ(folder_of(path), folder) << path;
    }
}

TEST(AppendToFile, AddsBehindWhatIsThereInCallOrder)
{
    scratch_dir dir;
    const std::string target = dir / "out.tx";
    write_bytes(target, "old");
    EXPECT_FALSE(write_once(target, std::string_view("first")));
    EXPECT_FALSE(write_once(target, std::string_view("second")));
    EXPECT_EQ(read_bytes(target), "oldfirstsecond");
}

TEST(AppendToFile, AFileMadeAfterTheLookIsAddedTo)
{
    // The look found no file; another program makes one before the commit.
    // Its bytes stay, and the new ones go behind them, as for any append.
    scratch_dir dir;
    output_stager stager;
    output_request request{.to = {subject_kind::file, dir / "out.tx"}};
    ASSERT_TRUE(look_at_output(request));
    write_bytes(dir / "out.tx", "theirs");
    stager.stage(0, request, "new");
    const output_outcome outcome = stager.commit().front().second;
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->held_before, 6U);
    EXPECT_EQ(read_bytes(dir / "out.tx"), "theirsnew");
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
        EXPECT_FALSE(write_once(target, data));
        EXPECT_EQ(read_bytes(target), data) << size;
    }
}

TEST(AppendToFile, AnUnwritableTargetIsReportedWithItsPath)
{
    scratch_dir dir;
    std::filesystem::create_directory(dir / "folder.tx");
    const std::optional<failure> failed = write_once(dir / "folder.tx", std::string_view("data"));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, failure_kind::cannot_write);
    EXPECT_EQ(failed->about.path, dir / "folder.tx");
    EXPECT_NE(failed->cause, io_error{});
}

// What stands at the name when the append opens it, put there after any
// look, is what the failure names: a link is never followed, a FIFO is no
// file, and a folder says what the system said.
TEST(AppendToFile, WhatStandsAtTheNameIsSaidWhenItCannotBeOpened)
{
    scratch_dir dir;
    write_bytes(dir / "file.tx", "x");
    std::filesystem::create_symlink(dir / "file.tx", dir / "link.tx");
    ASSERT_EQ(::mkfifo((dir / "fifo.tx").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder.tx");
    const std::pair<const char*, io_reason> cases[] = {
        {"link.tx", io_reason::symlink}, {"fifo.tx", io_reason::not_regular}, {"folder.tx", io_reason::system}};
    for (const auto& [name, reason] : cases) {
        const output_outcome added = append_to_file(dir / name, std::string_view("data"), {}, {});
        ASSERT_FALSE(added) << name;
        EXPECT_EQ(added.error().cause.reason, reason) << name;
    }
    EXPECT_EQ(read_bytes(dir / "file.tx"), "x");
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
        const std::optional<failure> failed = write_once(existing, data);
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->kind, failure_kind::cannot_write);
        EXPECT_FALSE(failed->undo.has_value());
        EXPECT_FALSE(write_once(fresh, std::string_view("small")).has_value());
        EXPECT_TRUE(write_once(fresh, data).has_value());
        EXPECT_TRUE(write_once(dir / "made.tx", data).has_value());
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
    // target before it has a name, its folder, or any that a call names.
    enum { input, target, nameless, folder, named } on;
    int nth;
    // How it ends: failed, and what p.tx holds afterwards (absent: nullopt).
    bool fails;
    std::optional<std::string> after;
    write_mode mode = write_mode::append;
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
        {"looking at the new target once written", false, fstat, fault_case::nameless, 1, true, std::nullopt},
        {"syncing the new target", false, fsync, fault_case::nameless, 1, true, std::nullopt},
        {"syncing the new target's folder", false, fsync, fault_case::folder, 1, true, std::nullopt},
        {"syncing the folder of a target --force made", false, fsync, fault_case::folder, 1, true, std::nullopt,
         write_mode::replace},
        {"giving the replacement the old owner", true, fchown, fault_case::nameless, 1, true, "old",
         write_mode::replace},
        {"giving the replacement the old mode", true, fchmod, fault_case::nameless, 1, true, "old",
         write_mode::replace},
        {"swapping the replacement in", true, renameat2, fault_case::named, 1, true, "old", write_mode::replace},
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
        testing::arm({c.call,
                      [&](int fd) {
                          switch (c.on) {
                          case fault_case::input:
                              return testing::is_file_at(fd, input);
                          case fault_case::target:
                              return testing::is_file_at(fd, target);
                          case fault_case::nameless:
                              return testing::is_nameless_file(fd);
                          case fault_case::folder:
                              return testing::is_folder(fd);
                          case fault_case::named:
                              return fd == -1;
                          }
                          return false;
                      },
                      c.nth});
        const job task = menu_job(input, target, c.mode);
        ::testing::internal::CaptureStderr();
        const run_summary summary = run_jobs(std::span(&task, 1), {});
        const std::string said = ::testing::internal::GetCapturedStderr();
        testing::disarm();
        EXPECT_TRUE(testing::struck());
        EXPECT_EQ(summary.any_failed(), c.fails) << said;
        EXPECT_EQ(std::filesystem::exists(target) ? std::optional(read_bytes(target)) : std::nullopt, c.after);
        EXPECT_EQ(said.find("closing it failed after its bytes were safely written") != std::string::npos, !c.fails)
            << "a close that fails after the sync is still reported";
        EXPECT_EQ(files_in(dir / ""), c.after ? 2U : 1U) << "something was left behind";
    }
}

TEST(SystemCallFaults, AFailedNewNameIsTakenBackOnlyWhileItIsStillOurs)
{
    // The folder cannot be synced, so the new name must go again; but by
    // then somebody else's file has taken it, and that one stays. Or the
    // name cannot be removed, and that is said too.
    for (const bool theirs : {true, false}) {
        testing::scratch_dir dir;
        const std::string target = dir / "p.tx";
        testing::arm({testing::syscall::fsync, testing::is_folder, 1, [&] {
                          if (theirs) {
                              write_bytes(dir / "theirs", "theirs");
                              std::filesystem::rename(dir / "theirs", target);
                          } else {
                              testing::arm({testing::syscall::unlink, [](int) { return true; }});
                          }
                      }});
        const std::optional<failure> failed = write_once(target, std::string_view("ours"));
        testing::disarm();
        ASSERT_TRUE(failed);
        EXPECT_EQ(read_bytes(target), theirs ? "theirs" : "ours");
        EXPECT_EQ(failed->undo.has_value(), !theirs);
    }
}

TEST(SystemCallFaults, AStreamWhoseCloseFailsIsNotWritten)
{
    // A device or a FIFO may say that a write failed only when it is closed.
    testing::scratch_dir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    testing::arm({testing::syscall::close, [&](int fd) { return testing::is_file_at(fd, fifo); }});
    const output_outcome outcome = write_stream({subject_kind::file, fifo}, fifo, "new");
    testing::disarm();
    ::close(reader);
    EXPECT_FALSE(outcome.has_value());
}

TEST(SystemCallFaults, AFailedFlushOfABatchFailsEveryOutputInIt)
{
    // In one file system, or in two, where a later file system's flush that
    // works must not make up for the first one's that failed.
    for (const bool two_file_systems : {false, true}) {
        SCOPED_TRACE(two_file_systems);
        testing::scratch_dir dir;
        std::optional<testing::scratch_dir> other;
        struct stat here {};
        struct stat there {};
        if (two_file_systems && (::stat("/dev/shm", &there) != 0 || ::stat(std::string(dir / "").c_str(), &here) != 0 ||
                                 here.st_dev == there.st_dev)) {
            GTEST_SKIP() << "no second file system at /dev/shm";
        }
        if (two_file_systems) {
            other.emplace("/dev/shm");
        }
        testing::arm({testing::syscall::syncfs, [](int) { return true; }});
        output_stager stager;
        for (const std::string& path : {dir / "a.tx", dir / "b.tx", other ? *other / "c.tx" : dir / "c.tx"}) {
            output_request request{.to = {subject_kind::file, path}, .mode = write_mode::create};
            ASSERT_TRUE(look_at_output(request));
            stager.stage(0, request, "new");
        }
        const auto outcomes = stager.commit();
        testing::disarm();
        ASSERT_EQ(outcomes.size(), 3U);
        for (const auto& [job, outcome] : outcomes) {
            EXPECT_FALSE(outcome.has_value());
        }
        EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir / "a.tx").parent_path()));
    }
}

TEST(SystemCallFaults, ANameThatKeepsVanishingIsGivenUpOn)
{
    testing::scratch_dir dir;
    const std::string target = dir / "p.tx";
    write_bytes(target, "old");
    testing::arm({testing::syscall::fstat, [&](int fd) { return testing::is_file_at(fd, target); }, 0, {}, true});
    const std::optional<failure> failed = write_once(target, std::string_view("new"));
    testing::disarm();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, failure_kind::name_kept_changing);
    EXPECT_EQ(read_bytes(target), "old");
}

TEST(SystemCallFaults, ANameThatKeepsAppearingIsGivenUpOn)
{
    // Every link says the name is taken, yet nothing is ever there to add to.
    testing::scratch_dir dir;
    testing::arm({testing::syscall::linkat, [](int) { return true; }, 0});
    const std::optional<failure> failed = write_once(dir / "p.tx", std::string_view("new"));
    testing::disarm();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, failure_kind::name_kept_changing);
    EXPECT_EQ(files_in(dir / ""), 0U);
}

TEST(SystemCallFaults, ANameThatAppearsWhereNothingCanBeLookedAtFails)
{
    // The name is taken meanwhile, and then its folder is no folder: what
    // cannot be looked at is a failure, never a success.
    testing::scratch_dir dir;
    const std::string folder = dir / "f";
    std::filesystem::create_directory(folder);
    testing::arm({testing::syscall::linkat, [](int) { return true; }, 1,
                  [&] {
                      std::filesystem::rename(folder, dir / "gone");
                      write_bytes(folder, "a file");
                  }});
    const std::optional<failure> failed = write_once(folder + "/p.tx", std::string_view("new"));
    testing::disarm();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, failure_kind::cannot_write);
    EXPECT_EQ(failed->cause.code, static_cast<std::uint32_t>(ENOTDIR));
    EXPECT_EQ(files_in(dir / "gone"), 0U);
}

TEST(SystemCallFaults, ARollbackThatFailsTooIsSaid)
{
    // Cutting the file back fails, or making the cut durable does.
    for (const testing::syscall call : {testing::syscall::ftruncate, testing::syscall::fsync}) {
        testing::scratch_dir dir;
        const std::string target = dir / "p.tx";
        write_bytes(target, "old");
        with_file_size_limit(100, [&] {
            testing::arm({call, [&](int fd) { return testing::is_file_at(fd, target); }});
            const std::optional<failure> failed = write_once(target, std::string(1000, 'x'));
            testing::disarm();
            ASSERT_TRUE(failed);
            EXPECT_NE(failed->cause, io_error{});
            EXPECT_TRUE(failed->undo.has_value());
        });
    }
}

TEST(AppendToFile, ALockHeldTooLongIsGivenUpOnAndSaidOnce)
{
    testing::scratch_dir dir;
    const std::string target = dir / "p.tx";
    write_bytes(target, "old");
    const int holder = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    static std::vector<subject> said;
    said.clear();
    const std::optional<failure> failed = write_once(target, std::string_view("new"), write_mode::append,
                                                     {std::chrono::milliseconds(20), std::chrono::milliseconds(200),
                                                      [](const subject& about) { said.push_back(about); }});
    ::close(holder);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, failure_kind::lock_timeout);
    EXPECT_EQ(said, (std::vector<subject>{{subject_kind::file, target}}));
    EXPECT_EQ(read_bytes(target), "old");
}

} // namespace
} // namespace txconv

namespace txconv {
namespace {

// One run that the sweep fails at every writing call in turn.
struct sweep_case {
    const char* what;
    write_mode mode;
    std::vector<std::string> inputs;        // listings, each with its own values
    std::map<std::string, std::string> old; // targets there before
};

std::string listing_of(std::uint32_t first)
{
    value_table table{};
    table[0] = first;
    const listing_text text = format_listing(table);
    return {text.begin(), text.end()};
}

std::string table_of(std::uint32_t first)
{
    value_table table{};
    table[0] = first;
    const table_image image = encode_table(table);
    return {image.begin(), image.end()};
}

// As SQLite tests its I/O: the 1st, 2nd, 3rd... call that writes, names,
// removes, locks or syncs a file fails, and after each every target holds
// its old bytes or its whole new ones, the inputs are as they were, and
// nothing else is left in the folder.
TEST(SystemCallFaults, EveryWritingCallInTurn)
{
    const sweep_case cases[] = {
        {"the menu, new target", write_mode::append, {"p.txt"}, {}},
        {"the menu, target there", write_mode::append, {"p.txt"}, {{"p.tx", "old"}}},
        {"--force", write_mode::replace, {"p.txt"}, {{"p.tx", "old"}}},
        {"--append", write_mode::append, {"p.txt"}, {{"p.tx", "old"}}},
        {"three files", write_mode::create, {"a.txt", "b.txt", "c.txt"}, {}},
        // The second adds to the first's new file, through the first's own.
        {"--append, two files into one new output", write_mode::append, {"p.txt", "p.TXT"}, {}},
    };
    for (const sweep_case& c : cases) {
        for (int nth = 1;; ++nth) {
            SCOPED_TRACE(std::string(c.what) + ", call " + std::to_string(nth));
            scratch_dir dir;
            std::vector<job> jobs;
            for (std::size_t i = 0; i < c.inputs.size(); ++i) {
                write_bytes(dir / c.inputs[i], listing_of(static_cast<std::uint32_t>(i + 1)));
                jobs.push_back(menu_job(dir / c.inputs[i], output_name_for(dir / c.inputs[i], "tx"), c.mode));
            }
            for (const auto& [name, bytes] : c.old) {
                write_bytes(dir / name, bytes);
            }
            testing::arm({.matches = [](int fd) { return fd == -1 || fd > 2; }, .nth = nth, .any_writing_call = true});
            ::testing::internal::CaptureStderr();
            run_jobs(jobs, {.verbose = true});
            // Each input that worked says so: "IN -> OUT".
            const std::string said = ::testing::internal::GetCapturedStderr();
            const bool struck = testing::struck();
            testing::disarm();
            // Each target holds what the inputs that worked added to it, in
            // order and whole, and nothing of those that failed; a
            // replacement whose folder failed to sync after the rename may
            // hold the new bytes all the same.
            std::map<std::string, std::string> landed;
            std::map<std::string, bool> any_failed;
            for (std::size_t i = 0; i < c.inputs.size(); ++i) {
                EXPECT_EQ(read_bytes(dir / c.inputs[i]), listing_of(static_cast<std::uint32_t>(i + 1)));
                const std::string target = output_name_for(dir / c.inputs[i], "tx");
                if (said.find(dir / c.inputs[i] + " -> ") != std::string::npos) {
                    landed[target] += table_of(static_cast<std::uint32_t>(i + 1));
                } else {
                    any_failed[target] = true;
                }
            }
            for (const std::string& input : c.inputs) {
                const std::string target = output_name_for(dir / input, "tx");
                const std::string name = target.substr(target.rfind('/') + 1);
                const std::optional<std::string> old =
                    c.old.contains(name) ? std::optional(c.old.at(name)) : std::nullopt;
                const std::optional<std::string> after =
                    std::filesystem::exists(target) ? std::optional(read_bytes(target)) : std::nullopt;
                const std::optional<std::string> expected =
                    !landed.contains(target)
                        ? old
                        : std::optional((c.mode == write_mode::append ? old.value_or("") : "") + landed[target]);
                if (c.mode == write_mode::replace && any_failed[target]) {
                    EXPECT_TRUE(after == old || after == table_of(1)) << target << "\n" << said;
                } else {
                    EXPECT_EQ(after, expected) << target << "\n" << said;
                }
            }
            for (const auto& entry : std::filesystem::directory_iterator(dir / "")) {
                const std::string name = entry.path().filename().string();
                const bool known = std::any_of(c.inputs.begin(), c.inputs.end(), [&](const std::string& in) {
                    return name == in || name == output_name_for(in, "tx");
                });
                EXPECT_TRUE(known) << name << " was left behind";
            }
            if (!struck) {
                break; // every writing call of the run has failed once
            }
        }
    }
}

} // namespace
} // namespace txconv

namespace txconv {
namespace {

// Standard output keeps the promises a named output keeps: the sweep fails
// each writing call in turn, and each look at its status, with standard
// output a file opened to append (txconv -2 - >> out) or a pipe. A file is
// whole or as it was; a pipe gets what was written, and the run says so.
TEST(SystemCallFaults, EveryCallInTurnOnStandardOutput)
{
    using enum testing::syscall;
    for (const bool to_pipe : {false, true}) {
        for (const bool status_calls : {false, true}) {
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(std::string(to_pipe ? "a pipe" : "a file") + (status_calls ? ", fstat " : ", call ") +
                             std::to_string(nth));
                scratch_dir dir;
                write_bytes(dir / "p.txt", listing_of(1));
                write_bytes(dir / "out", "old");
                int pipe_ends[2] = {-1, -1};
                ASSERT_EQ(to_pipe ? ::pipe(pipe_ends) : 0, 0);
                const int target = to_pipe ? pipe_ends[1] : ::open((dir / "out").c_str(), O_WRONLY | O_APPEND);
                const int saved = ::dup(STDOUT_FILENO);
                ::dup2(target, STDOUT_FILENO);
                ::close(target);
                job task = menu_job(dir / "p.txt", "", write_mode::create);
                task.output.to = subject::standard_output();
                testing::arm({.call = status_calls ? fstat : close,
                              .matches = [](int fd) { return fd == -1 || fd != STDERR_FILENO; },
                              .nth = nth,
                              .any_writing_call = !status_calls});
                ::testing::internal::CaptureStderr();
                const bool failed = run_jobs(std::span(&task, 1), {}).any_failed();
                const std::string said = ::testing::internal::GetCapturedStderr();
                const bool struck = testing::struck();
                testing::disarm();
                ::dup2(saved, STDOUT_FILENO);
                ::close(saved);
                std::string piped(4096, '\0');
                if (to_pipe) {
                    const ssize_t got = ::read(pipe_ends[0], piped.data(), piped.size());
                    piped.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
                    ::close(pipe_ends[0]);
                }
                const std::string after = to_pipe ? piped : read_bytes(dir / "out");
                const std::string before = to_pipe ? "" : "old";
                EXPECT_EQ(failed, !said.empty()) << said;
                if (!failed) {
                    EXPECT_EQ(after, before + table_of(1));
                } else if (!to_pipe) {
                    EXPECT_EQ(after, before) << said;
                }
                if (!struck) {
                    break;
                }
            }
        }
    }
}

} // namespace
} // namespace txconv
