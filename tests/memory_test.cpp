// Memory that runs out at any allocation of a batch, in turn: the run says
// exactly which outputs were written and which were not, and each target
// holds its old bytes or its whole new ones.
#include "app/driver.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>

#include <sys/resource.h>

namespace {

// The allocation, counted from 1 while armed, that fails; 0 for none. Only
// that one fails, as memory that the run gives back can be had again.
long fail_at = 0;

} // namespace

void* operator new(std::size_t bytes)
{
    if (fail_at > 0 && --fail_at == 0) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(bytes > 0 ? bytes : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace txconv {
namespace {

TEST(OutOfMemory, EveryAllocationInTurnIsReportedAsItEnded)
{
    const table_image image = encode_table(value_table{7});
    const std::string table(image.begin(), image.end());
    // Few descriptors to spare, so that the six outputs take three commits.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    const auto open = static_cast<rlim_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
    rlimit tight{open + 6, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    for (long nth = 1;; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        testing::scratch_dir dir;
        std::vector<job> jobs(6);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const std::string name = dir / std::string("t").append(std::to_string(i));
            // The fourth input is missing: that failure is said too, however
            // far the run got.
            if (i != 3) {
                testing::write_bytes(name + ".txt", "uv=00000007\r\n");
            }
            testing::write_bytes(name + ".tx", "old");
            jobs[i].inputs = {{.from = {subject_kind::file, name + ".txt"}, .way = direction::to_table}};
            jobs[i].output.to = {subject_kind::file, name + ".tx"};
            jobs[i].output.mode = write_mode::replace;
        }
        ::testing::internal::CaptureStderr();
        fail_at = nth;
        run_summary summary;
        bool escaped = false;
        try {
            summary = run_jobs(jobs, {});
        } catch (const std::bad_alloc&) {
            // Before any job began: the caller says so, and nothing is written.
            escaped = true;
        }
        const bool struck = fail_at == 0;
        fail_at = 0;
        const std::string said = ::testing::internal::GetCapturedStderr();
        if (escaped) {
            for (const job& task : jobs) {
                EXPECT_EQ(testing::read_bytes(task.output.to.path), "old");
            }
            continue;
        }
        if (!struck) {
            EXPECT_EQ(said.find("out of memory"), std::string::npos) << said;
            break;
        }
        for (const job& task : jobs) {
            const std::string in = task.input().from.path;
            const std::string now = testing::read_bytes(task.output.to.path);
            const auto says = [&](std::string_view tail) {
                return said.find(std::string(in).append(tail)) != said.npos;
            };
            const bool written = says(" -> " + task.output.to.path + "\n");
            const bool left = says(": not converted: out of memory\n");
            const bool unknown = says(": out of memory while its output was written");
            const bool failed = says(": cannot be read: ");
            EXPECT_EQ(int(written) + int(left) + int(unknown) + int(failed), 1) << in << "\n" << said;
            EXPECT_TRUE(written          ? now == table
                        : left || failed ? now == "old"
                                         : now == table || now == "old")
                << in << said;
        }
        EXPECT_TRUE(summary.any_failed());
        EXPECT_NE(said.find("txconv: out of memory; the outputs written before it follow"), std::string::npos) << said;
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
}

} // namespace
} // namespace txconv
