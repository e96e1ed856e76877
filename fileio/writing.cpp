#include "fileio/writing.hpp"

#include "platform/console.hpp"

namespace txconv {

file_expected<> append_locked(native_file& file, const subject& about, std::uint64_t length, std::span<const char> data)
{
    io_expected<> done = write_all(file, data);
    if (done) {
        done = file.sync();
    }
    if (done) {
        return {};
    }
    io_expected<> undo = file.truncate(length);
    if (undo) {
        undo = file.sync();
    }
    return std::unexpected(cannot_write(about, done.error(), undo ? std::nullopt : std::optional(undo.error())));
}

namespace {

output_outcome failed(failure why)
{
    return {.failed = std::move(why)};
}

} // namespace

io_expected<> write_all(native_file& file, std::span<const char> data)
{
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(WRITE_CHUNK, data.size() - done);
        const io_expected<std::size_t> put = file.write_some(data.subspan(done, step));
        if (!put) {
            return std::unexpected(put.error());
        }
        if (*put == 0) {
            return io_failed(io_reason::no_progress);
        }
        done += *put;
    }
    return {};
}

file_expected<> wait_for_lock(native_file& file, const subject& about, const lock_patience& patience)
{
    const auto locked = wait_while_busy(about, patience, [&] { return file.try_lock(); });
    if (!locked) {
        return std::unexpected(locked.error());
    }
    if (!*locked) {
        return std::unexpected(cannot_write(about, locked->error()));
    }
    return {};
}

output_outcome append_existing(const path_string& path, std::span<const char> data,
                               std::span<const file_identity> inputs, const lock_patience& patience)
{
    const subject about{subject_kind::file, path};
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        native_file file;
        // Another program may hold the file without sharing it: waited for
        // as for a lock.
        const auto opened = wait_while_busy(about, patience, [&] { return file.open_for_appending(path); });
        if (!opened) {
            return failed(opened.error());
        }
        if (!*opened) {
            return failed(cannot_write(about, opened->error()));
        }
        if (auto locked = wait_for_lock(file, about, patience); !locked) {
            return failed(std::move(locked.error()));
        }
        const io_expected<file_status> status = file.status();
        if (!status) {
            return failed(cannot_write(about, status.error()));
        }
        if (status->removed) {
            // Whoever held the lock before us gave the file up and took its
            // name away; what we wrote here would be lost.
            continue;
        }
        // Checked on the open, locked file: the name may have been pointed at
        // the input since the first look.
        if (is_one_of(status->identity, inputs)) {
            return failed({.kind = failure_kind::same_file, .about = about});
        }
        if (auto added = append_locked(file, about, status->size, data); !added) {
            return failed(std::move(added.error()));
        }
        const io_expected<> closed = file.close();
        return {.late_close = closed ? std::nullopt : std::optional(closed.error()), .held_before = status->size};
    }
    return failed({.kind = failure_kind::name_kept_changing, .about = about});
}

output_outcome write_standard_output(std::span<const char> data, std::span<const file_identity> inputs)
{
    const subject about = subject::standard_output();
    if (closed_at_start(standard_stream::output)) {
        return failed(cannot_write(about, {io_reason::closed}));
    }
    native_file out = native_file::standard_output();
    // A pipe or a terminal has no status worth the name; only a file
    // matters, and one that cannot say which file it is might be the input.
    const io_expected<file_status> status = out.status();
    if (!status) {
        return failed(cannot_write(about, {io_reason::unknown_identity}));
    }
    const bool regular = status->regular;
    if (regular && is_one_of(status->identity, inputs)) {
        return failed({.kind = failure_kind::same_file, .about = about});
    }
    // A file is cut back to where the write began should it fail half way;
    // a pipe cannot take back what its reader may have read. A file that
    // cannot say where it stands is not written at all: cutting it back to
    // a guess could take away what was there.
    const io_expected<std::uint64_t> start = regular ? out.position() : io_expected<std::uint64_t>{0};
    if (!start) {
        return failed(cannot_write(about, start.error()));
    }
    io_expected<> done = write_all(out, data);
    if (done && regular) {
        done = out.sync();
    }
    if (done) {
        return {};
    }
    const io_expected<> undo = regular ? out.truncate(*start) : io_expected<>{};
    return failed(cannot_write(about, done.error(), undo ? std::nullopt : std::optional(undo.error())));
}

output_outcome write_stream(const path_string& path, std::span<const char> data)
{
    native_file out;
    io_expected<> done = out.open_stream(path);
    if (done) {
        done = write_all(out, data);
    }
    if (done) {
        done = out.close();
    }
    return done ? output_outcome{} : failed(cannot_write({subject_kind::file, path}, done.error()));
}

} // namespace txconv
