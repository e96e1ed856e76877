#include "fileio/file_access.hpp"

#include <algorithm>
#include <map>
#include <thread>

namespace txconv {

namespace {

// How many new outputs wait, open, for one shared round of syncs, at most.
constexpr std::size_t WINDOW = 256;

// How often a name may vanish under us before we stop trying.
constexpr int ATTEMPTS = 100;

bool is_separator(path_char c)
{
    return c == path_char('/') || c == path_char('\\');
}

// Reading covers opening, reading and closing the input alike: to the user
// each means the file could not be read.
failure cannot_read(const path_string& path, os_error reason)
{
    return {NOTICE_CANNOT_OPEN, display_path(path), std::move(reason)};
}

failure cannot_write(const path_string& path, os_error reason)
{
    return {NOTICE_CANNOT_WRITE, display_path(path), std::move(reason)};
}

failure same_file(const path_string& path)
{
    return {NOTICE_SAME_FILE, display_path(path), "output would overwrite the input it is made from"};
}

failure already_exists(const path_string& path)
{
    return cannot_write(path, "already exists; use --force to replace it or --append to add to it");
}

os_error write_all(native_file& file, std::span<const char> data)
{
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(WRITE_CHUNK, data.size() - done);
        std::size_t put = 0;
        if (os_error reason = file.write_some(data.subspan(done, step), put); !reason.empty()) {
            return reason;
        }
        if (put == 0) {
            return "the system accepted no bytes";
        }
        done += put;
    }
    return {};
}

// Adds data behind length bytes of a locked file, durably; on any failure
// cuts the file back to length.
os_error append_locked(native_file& file, std::uint64_t length, std::span<const char> data)
{
    os_error reason = write_all(file, data);
    if (reason.empty()) {
        reason = file.sync();
    }
    if (!reason.empty()) {
        os_error undo = file.truncate(length);
        if (undo.empty()) {
            undo = file.sync();
        }
        if (!undo.empty()) {
            reason += "; cutting the file back failed too: " + undo;
        }
    }
    return reason;
}

std::string seconds(std::chrono::milliseconds span)
{
    const auto count = span.count();
    return count % 1000 == 0 ? std::to_string(count / 1000) + " s" : std::to_string(count) + " ms";
}

} // namespace

// A new output, written and waiting to be synced and named.
struct output_writer::pending {
    path_string path;
    write_mode mode = write_mode::append;
    // An append keeps its bytes: should the name appear meanwhile, they are
    // added to that file instead.
    std::vector<char> bytes;
    std::optional<file_identity> input;
    native_file file;
    output_done done;
    outcome result;
    bool published = false;
    // Only a report waiting for its turn: no file.
    bool settled = false;
};

path_string output_name_for(const path_string& path, std::string_view extension)
{
    const auto name = std::find_if(path.rbegin(), path.rend(), is_separator).base();
    // Just behind the file name's last '.', or at the name's start when it has none.
    const auto cut = std::find(path.rbegin(), std::make_reverse_iterator(name), path_char('.')).base();
    path_string out = cut == name ? path + path_char('.') : path_string(path.begin(), cut);
    for (const char c : extension) {
        out.push_back(static_cast<path_char>(c));
    }
    return out;
}

outcome open_input(const path_string& path, native_file& file, std::optional<file_identity>& identity)
{
    file_status status;
    if (os_error reason = file.open_for_reading(path, status); !reason.empty()) {
        return cannot_read(path, std::move(reason));
    }
    identity = status.identity;
    return {};
}

void open_standard_input(native_file& file, std::optional<file_identity>& identity)
{
    file = native_file::standard_input();
    file_status status;
    if (file.status(status).empty()) {
        identity = status.identity;
    }
}

outcome read_chunk(native_file& file, const path_string& path, std::span<char> into, std::size_t& got)
{
    got = 0;
    while (got < into.size()) {
        std::size_t n = 0;
        if (os_error reason = file.read_some(into.subspan(got), n); !reason.empty()) {
            return cannot_read(path, std::move(reason));
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return {};
}

outcome close_input(native_file& file, const path_string& path)
{
    if (os_error reason = file.close(); !reason.empty()) {
        return cannot_read(path, std::move(reason));
    }
    return {};
}

output_writer::output_writer(message_sink say, lock_patience patience)
    : say_(std::move(say)), patience_(patience), window_(std::min(WINDOW, open_files_to_spare()))
{
}

output_writer::~output_writer() = default;

outcome output_writer::check_target(const path_string& path, write_mode mode,
                                    const std::optional<file_identity>& input) const
{
    path_kind kind = path_kind::missing;
    file_identity identity;
    if (os_error reason = inspect_path(path, kind, identity); !reason.empty()) {
        // Whatever keeps us from looking will keep the write from working too,
        // and that reports it.
        return {};
    }
    switch (kind) {
    case path_kind::missing:
        return {};
    case path_kind::symlink:
        return cannot_write(path, os_error(REASON_SYMLINK));
    case path_kind::other:
        return cannot_write(path, os_error(REASON_NOT_REGULAR));
    case path_kind::regular:
        break;
    }
    if (input && identity == *input) {
        return same_file(path);
    }
    if (mode == write_mode::create) {
        return already_exists(path);
    }
    return {};
}

outcome output_writer::wait_for_lock(native_file& file, const path_string& path) const
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto pause = std::chrono::milliseconds(1);
    bool said = false;
    for (;;) {
        os_error reason;
        switch (file.try_lock(reason)) {
        case lock_attempt::taken:
            return {};
        case lock_attempt::failed:
            return cannot_write(path, std::move(reason));
        case lock_attempt::busy:
            break;
        }
        const auto waited = clock::now() - start;
        if (waited >= patience_.give_up_after) {
            return cannot_write(path, "another program kept it locked for " + seconds(patience_.give_up_after) +
                                          "; gave up waiting");
        }
        if (!said && waited >= patience_.say_after && say_) {
            say_(display_path(path) + ": waiting for another program to release it");
            said = true;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

outcome output_writer::append_existing(const path_string& path, std::span<const char> data,
                                       const std::optional<file_identity>& input, bool& missing) const
{
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        native_file file;
        if (os_error reason = file.open_for_appending(path, missing); !reason.empty()) {
            return missing ? outcome{} : cannot_write(path, std::move(reason));
        }
        if (auto failed = wait_for_lock(file, path)) {
            return failed;
        }
        file_status status;
        if (os_error reason = file.status(status); !reason.empty()) {
            return cannot_write(path, std::move(reason));
        }
        if (status.removed) {
            // Whoever held the lock before us gave the file up and took its
            // name away; what we wrote here would be lost.
            continue;
        }
        // Checked on the open, locked file: the name may have been pointed at
        // the input since the first look.
        if (input && status.identity == *input) {
            return same_file(path);
        }
        if (os_error reason = append_locked(file, status.size, data); !reason.empty()) {
            return cannot_write(path, std::move(reason));
        }
        close_durable(file, path);
        return {};
    }
    missing = false;
    return cannot_write(path, "it kept being removed while it was opened");
}

void output_writer::close_durable(native_file& file, const path_string& path) const
{
    // The bytes are on the disk already, so a failing close takes nothing
    // back: saying so is all there is to do, and the output counts as written.
    if (os_error reason = file.close(); !reason.empty() && say_) {
        say_(display_path(path) + ": closing it failed after its bytes were safely written: " + reason);
    }
}

void output_writer::write(const path_string& path, write_mode mode, std::span<const char> data,
                          const std::optional<file_identity>& input, output_done done)
{
    if (data.empty()) {
        report({}, std::move(done));
        return;
    }
    if (mode == write_mode::append) {
        bool missing = false;
        outcome appended = append_existing(path, data, input, missing);
        if (!missing) {
            report(appended, std::move(done));
            return;
        }
    }
    pending output{path, mode, {}, input, native_file(), std::move(done), {}, false, false};
    os_error reason = output.file.create_unnamed(path);
    if (reason.empty()) {
        reason = write_all(output.file, data);
    }
    if (!reason.empty()) {
        report(cannot_write(path, std::move(reason)), std::move(output.done));
        return;
    }
    if (mode == write_mode::append) {
        output.bytes.assign(data.begin(), data.end());
    }
    pending_.push_back(std::move(output));
    if (pending_.size() >= window_) {
        flush();
    }
}

void output_writer::report(const outcome& ended, output_done done)
{
    if (pending_.empty()) {
        done(ended);
        return;
    }
    pending waiting;
    waiting.done = std::move(done);
    waiting.result = ended;
    waiting.settled = true;
    pending_.push_back(std::move(waiting));
}

void output_writer::publish(pending& output) const
{
    const bool replace = output.mode == write_mode::replace;
    if (replace) {
        // Whatever stands at the name now is what the rename would take away.
        if (auto refused = check_target(output.path, output.mode, output.input)) {
            output.result = refused;
            return;
        }
    }
    // Held until the name is durable: an append that finds the name meanwhile
    // waits, and so is not lost if the name has to be taken away again.
    os_error reason;
    if (output.file.try_lock(reason) == lock_attempt::failed) {
        output.result = cannot_write(output.path, std::move(reason));
        return;
    }
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        bool taken = false;
        reason = output.file.publish(output.path, replace, taken);
        if (reason.empty()) {
            output.published = true;
            return;
        }
        if (!taken) {
            output.result = cannot_write(output.path, std::move(reason));
            return;
        }
        if (output.mode == write_mode::create) {
            output.result = already_exists(output.path);
            return;
        }
        // Somebody made the file meanwhile: add to it, as to any other.
        bool missing = false;
        output.result = append_existing(output.path, output.bytes, output.input, missing);
        if (!missing) {
            return;
        }
    }
    output.result = cannot_write(output.path, "it kept appearing and vanishing while it was made");
}

void output_writer::flush()
{
    std::vector<pending> outputs = std::move(pending_);
    pending_.clear();
    // Synced first, all of them together where the system can, so that one
    // flush carries them all; a failure then fails every one of them, as
    // nobody can tell which file it hit.
    std::map<path_string, native_file*> one_per_folder;
    std::size_t count = 0;
    for (pending& output : outputs) {
        if (!output.settled) {
            one_per_folder.emplace(folder_of(output.path), &output.file);
            ++count;
        }
    }
    std::vector<native_file*> files;
    for (const auto& [folder, file] : one_per_folder) {
        files.push_back(file);
    }
    bool synced = false;
    const os_error together = count > 1 ? sync_together(files, synced) : os_error{};
    for (pending& output : outputs) {
        if (output.settled) {
            continue;
        }
        if (os_error reason = synced || !together.empty() ? together : output.file.sync(); !reason.empty()) {
            output.result = cannot_write(output.path, std::move(reason));
        }
    }
    std::map<path_string, os_error> folders;
    for (pending& output : outputs) {
        if (!output.settled && !output.result) {
            publish(output);
        }
        if (output.published) {
            folders.emplace(folder_of(output.path), os_error{});
        }
    }
    for (auto& [folder, reason] : folders) {
        reason = sync_folder(folder);
    }
    for (pending& output : outputs) {
        if (output.published) {
            const os_error& reason = folders[folder_of(output.path)];
            if (!reason.empty()) {
                // A new name that may not survive a power cut is no success.
                // A replacement has already taken the old file's place, so
                // there is nothing left to go back to.
                if (output.mode != write_mode::replace) {
                    (void)output.file.unpublish(output.path);
                }
                output.result = cannot_write(output.path, reason);
            }
        }
        if (output.published && !output.result) {
            close_durable(output.file, output.path);
        }
        output.done(output.result);
    }
}

outcome append_to_file(const path_string& path, std::span<const char> data)
{
    outcome result;
    output_writer writer;
    writer.write(path, write_mode::append, data, std::nullopt, [&](const outcome& ended) { result = ended; });
    writer.flush();
    return result;
}

outcome write_to_standard_output(std::span<const char> data, const std::optional<file_identity>& input)
{
    const path_string shown(1, path_char('-'));
    native_file out = native_file::standard_output();
    file_status status;
    // A pipe or a terminal has no status worth the name; only a file matters.
    const bool regular = out.status(status).empty() && status.regular;
    if (regular && input && status.identity == *input) {
        return same_file(shown);
    }
    os_error reason = write_all(out, data);
    if (reason.empty() && regular) {
        reason = out.sync();
    }
    return reason.empty() ? outcome{} : cannot_write(shown, std::move(reason));
}

} // namespace txconv
