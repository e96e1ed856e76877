#include "fileio/writing.hpp"

#include "platform/console.hpp"

namespace txconv {

io_expected<> write_all(native_file& file, std::span<const char> data, std::size_t* written)
{
    std::size_t ignored = 0;
    std::size_t& done = written != nullptr ? *written : ignored;
    for (done = 0; done < data.size();) {
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

namespace {

// Keeps what count bytes written at the file's write position will cover.
io_expected<undo_point> remember(native_file& file, std::size_t count)
{
    const io_expected<file_status> status = file.status();
    // Where the write lands: the end that the status gave, where every
    // write goes there.
    const io_expected<bool> at_end = status ? file.writes_at_end() : std::unexpected(status.error());
    const io_expected<std::uint64_t> at = !at_end   ? std::unexpected(at_end.error())
                                          : *at_end ? io_expected<std::uint64_t>(status->size)
                                                    : file.position();
    if (!at) {
        return std::unexpected(at.error());
    }
    undo_point undo{.length = status->size, .at = *at};
    if (*at < status->size) {
        // Written inside the file, as 1<> does: what is there now is kept,
        // and a file whose bytes cannot be read back is not written at all.
        undo.covered.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, status->size - *at)));
        const io_expected<std::size_t> got = file.read_some(undo.covered);
        if (!got || *got != undo.covered.size()) {
            return io_failed(io_reason::cannot_undo, got ? 0 : got.error().code);
        }
        // Read from where the write lands, which it goes back to.
        if (const io_expected<> back = file.seek(*at); !back) {
            return std::unexpected(back.error());
        }
    }
    return undo;
}

} // namespace

file_expected<> write_or_undo(native_file& file, const subject& about, const undo_point& undo,
                              std::span<const char> data)
{
    std::size_t written = 0;
    const io_expected<> done = in_turn(write_all(file, data, &written), [&] { return file.sync(); });
    if (done) {
        return {};
    }
    // Only what was written over is written back, from where the write
    // began: a write that follows lands where this one would have.
    const io_expected<> undone = in_turn(
        file.seek(undo.at),
        [&] { return write_all(file, std::span(undo.covered).first(std::min(written, undo.covered.size()))); },
        [&] { return file.truncate(undo.length); }, [&] { return file.sync(); });
    return std::unexpected(cannot_write(about, done.error(), undone ? std::nullopt : std::optional(undone.error())));
}

output_outcome append_to_file(const path_string& path, std::span<const char> data,
                              std::span<const file_identity> inputs, const lock_patience& patience)
{
    const subject about{subject_kind::file, path};
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        native_file file;
        // Another program may hold the file without sharing it, or hold its
        // lock: either is waited for, and the file opened afresh each time.
        const auto open_locked = [&] {
            return in_turn(file.open_for_appending(path), [&] { return file.try_lock(); });
        };
        if (auto locked = wait_while_busy(about, patience, open_locked); !locked) {
            return std::unexpected(locked.error());
        }
        const io_expected<file_status> status = file.status();
        if (!status) {
            return std::unexpected(cannot_write(about, status.error()));
        }
        if (status->removed) {
            // Whoever held the lock before us gave the file up and took its
            // name away; what we wrote here would be lost.
            continue;
        }
        // Checked on the open, locked file: the name may have been pointed at
        // the input since the first look.
        if (is_one_of(status->identity, inputs)) {
            return std::unexpected(failure{.kind = failure_kind::same_file, .about = about});
        }
        if (auto added = write_or_undo(file, about, {.length = status->size, .at = status->size}, data); !added) {
            return std::unexpected(added.error());
        }
        const io_expected<> closed = file.close();
        return written{.late_close = closed ? std::nullopt : std::optional(closed.error()),
                       .held_before = status->size};
    }
    return std::unexpected(failure{.kind = failure_kind::name_kept_changing, .about = about});
}

output_outcome write_standard_output(std::span<const char> data, bool regular)
{
    const subject about = subject::standard_output();
    if (closed_at_start(standard_stream::output)) {
        return std::unexpected(cannot_write(about, {io_reason::closed}));
    }
    native_file out = native_file::standard(standard_stream::output);
    if (!regular) {
        // A pipe cannot take back what its reader may have read.
        const io_expected<> done = write_all(out, data);
        return done ? output_outcome{} : std::unexpected(cannot_write(about, done.error()));
    }
    const io_expected<undo_point> undo = remember(out, data.size());
    const file_expected<> done =
        undo ? write_or_undo(out, about, *undo, data) : std::unexpected(cannot_write(about, undo.error()));
    return done ? output_outcome{} : std::unexpected(done.error());
}

output_outcome write_stream(const subject& about, const path_string& path, std::span<const char> data)
{
    native_file out;
    const io_expected<> done = in_turn(
        out.open_stream(path), [&] { return write_all(out, data); }, [&] { return out.close(); });
    return done ? output_outcome{} : std::unexpected(cannot_write(about, done.error()));
}

} // namespace txconv
