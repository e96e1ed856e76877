#include "fileio/writing.hpp"
#include "platform/console.hpp"

#include <algorithm>
#include <thread>

namespace txconv {

namespace {

// Adds data behind length bytes of a locked file, durably; on any failure
// cuts the file back to length.
maybe_failure append_locked(native_file& file, const path_string& path, std::uint64_t length,
                            std::span<const char> data)
{
    io_result done = write_all(file, data);
    if (done.ok()) {
        done = file.sync();
    }
    if (done.ok()) {
        return std::nullopt;
    }
    io_result undo = file.truncate(length);
    if (undo.ok()) {
        undo = file.sync();
    }
    return failure{failure_kind::cannot_write, path, done, undo};
}

} // namespace

io_result write_all(native_file& file, std::span<const char> data)
{
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(WRITE_CHUNK, data.size() - done);
        std::size_t put = 0;
        if (const io_result wrote = file.write_some(data.subspan(done, step), put); !wrote.ok()) {
            return wrote;
        }
        if (put == 0) {
            return {io_reason::no_progress};
        }
        done += put;
    }
    return io_ok;
}

maybe_failure wait_for_lock(native_file& file, const path_string& path, const lock_patience& patience)
{
    io_result locked;
    if (auto gave_up = wait_while_busy(
            path, patience, [&] { return file.try_lock(); }, locked)) {
        return gave_up;
    }
    return locked.ok() ? std::nullopt : maybe_failure(failure{failure_kind::cannot_write, path, locked});
}

output_outcome append_existing(const path_string& path, std::span<const char> data,
                               const std::optional<file_identity>& input, const lock_patience& patience)
{
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        native_file file;
        // Another program may hold the file without sharing it: waited for
        // as for a lock.
        io_result opened;
        if (auto gave_up = wait_while_busy(
                path, patience, [&] { return file.open_for_appending(path); }, opened)) {
            return output_outcome{std::move(gave_up)};
        }
        if (!opened.ok()) {
            return output_outcome{failure{failure_kind::cannot_write, path, opened}};
        }
        if (auto failed = wait_for_lock(file, path, patience)) {
            return output_outcome{std::move(failed)};
        }
        file_status status;
        if (const io_result looked = file.status(status); !looked.ok()) {
            return output_outcome{failure{failure_kind::cannot_write, path, looked}};
        }
        if (status.removed) {
            // Whoever held the lock before us gave the file up and took its
            // name away; what we wrote here would be lost.
            continue;
        }
        // Checked on the open, locked file: the name may have been pointed at
        // the input since the first look.
        if (input && status.identity == *input) {
            return output_outcome{failure{failure_kind::same_file, path}};
        }
        if (auto failed = append_locked(file, path, status.size, data)) {
            return output_outcome{std::move(failed)};
        }
        return output_outcome{std::nullopt, file.close()};
    }
    return output_outcome{failure{failure_kind::name_unsteady, path}};
}

output_outcome write_standard_output(std::span<const char> data, const std::optional<file_identity>& input)
{
    const path_string shown(1, path_char('-'));
    if (closed_at_start(standard_stream::output)) {
        return output_outcome{failure{failure_kind::cannot_write, shown, {io_reason::closed}}};
    }
    native_file out = native_file::standard_output();
    file_status status;
    // A pipe or a terminal has no status worth the name; only a file
    // matters, and one that cannot say which file it is might be the input.
    if (!out.status(status).ok()) {
        return output_outcome{failure{failure_kind::cannot_write, shown, {io_reason::unknown_identity}}};
    }
    const bool regular = status.regular;
    if (regular && input && status.identity == *input) {
        return output_outcome{failure{failure_kind::same_file, shown}};
    }
    // A file is cut back to where the write began should it fail half way;
    // a pipe cannot take back what its reader may have read.
    std::uint64_t start = 0;
    io_result done = regular ? out.position(start) : io_ok;
    if (done.ok()) {
        done = write_all(out, data);
    }
    if (done.ok() && regular) {
        done = out.sync();
    }
    if (done.ok()) {
        return output_outcome{};
    }
    const io_result undo = regular ? out.truncate(start) : io_ok;
    return output_outcome{failure{failure_kind::cannot_write, shown, done, undo}};
}

output_outcome write_stream(const path_string& path, std::span<const char> data)
{
    native_file out;
    io_result done = out.open_stream(path);
    if (done.ok()) {
        done = write_all(out, data);
    }
    if (done.ok()) {
        done = out.close();
    }
    return done.ok() ? output_outcome{} : output_outcome{failure{failure_kind::cannot_write, path, done}};
}

} // namespace txconv
