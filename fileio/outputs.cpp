#include "fileio/outputs.hpp"
#include "fileio/writing.hpp"

#include <algorithm>

namespace txconv {

namespace {

// How many new outputs wait, open, for one shared round of syncs, at most.
constexpr std::size_t WINDOW = 256;

failure cannot_write(const path_string& path, io_result cause)
{
    return {failure_kind::cannot_write, path, cause};
}

} // namespace

// One staged output, and how far it got.
struct output_stager::entry {
    output_request request;
    std::vector<char> bytes;
    // A new file, written under no name and waiting for one.
    native_file file;
    bool is_new = false;
    bool published = false;
    // Which file the new one is, once named, so that a later output of this
    // commit that finds it at its name can add to it.
    file_identity identity;
    // Where the folder of a named output stands among the commit's folders.
    std::size_t folder = 0;
    // The earlier output of this commit whose file this one was added to: its
    // name stands or falls with that one.
    const entry* host = nullptr;
    output_outcome outcome;
};

maybe_failure refuse_target(const path_string& path, write_mode mode, const std::optional<file_identity>& input)
{
    path_kind kind = path_kind::missing;
    file_identity identity;
    if (!inspect_path(path, kind, identity).ok() || kind == path_kind::missing) {
        return std::nullopt;
    }
    if (kind != path_kind::regular) {
        return cannot_write(path, {kind == path_kind::symlink ? io_reason::symlink : io_reason::not_regular});
    }
    if (input && identity == *input) {
        return failure{failure_kind::same_file, path};
    }
    if (mode == write_mode::create) {
        return failure{failure_kind::exists, path};
    }
    return std::nullopt;
}

output_stager::output_stager(lock_patience patience)
    : patience_(patience), window_(std::min(WINDOW, open_files_to_spare()))
{
}

output_stager::~output_stager() = default;

void output_stager::stage(output_request request, std::span<const char> data)
{
    entry& output = entries_.emplace_back();
    output.request = std::move(request);
    output.bytes.assign(data.begin(), data.end());
}

bool output_stager::full() const
{
    return entries_.size() >= window_;
}

void output_stager::write_at_once(entry& output) const
{
    const output_request& request = output.request;
    if (request.path.empty()) {
        output.outcome = write_standard_output(output.bytes, request.input);
        return;
    }
    if (request.mode == write_mode::append) {
        output.outcome = append_existing(request.path, output.bytes, request.input, patience_);
        if (!output.outcome.failed || !output.outcome.failed->cause.is(io_reason::missing)) {
            return;
        }
        output.outcome = {};
    }
    io_result made = output.file.create_unnamed(request.path);
    if (made.ok()) {
        made = write_all(output.file, output.bytes);
    }
    if (!made.ok()) {
        output.outcome.failed = cannot_write(request.path, made);
        return;
    }
    output.is_new = true;
}

void output_stager::sync_new_files()
{
    // Synced first, all of them together where the system can, so that one
    // flush carries them all; a failure then fails every one of them, as
    // nobody can tell which file it hit.
    std::vector<native_file*> files;
    const auto count = std::count_if(entries_.begin(), entries_.end(), [](const entry& e) { return e.is_new; });
    const bool together = count > 1 && syncs_file_systems();
    for (entry& output : entries_) {
        if (together && output.is_new) {
            files.push_back(&output.file);
        }
    }
    const io_result all = together ? sync_file_systems(files) : io_ok;
    for (entry& output : entries_) {
        if (output.is_new) {
            if (const io_result synced = together ? all : output.file.sync(); !synced.ok()) {
                output.outcome.failed = cannot_write(output.request.path, synced);
            }
        }
    }
}

void output_stager::publish(entry& output, std::span<entry> earlier) const
{
    const output_request& request = output.request;
    const bool replace = request.mode == write_mode::replace;
    // Whatever stands at the name now is what the rename would take away.
    if (replace) {
        if (auto refused = refuse_target(request.path, request.mode, request.input)) {
            output.outcome.failed = std::move(refused);
            return;
        }
    }
    // Held until the name is durable: an append that finds the name meanwhile
    // waits, and so is not lost if the name has to be taken away again.
    if (const io_result locked = output.file.try_lock(); !locked.ok()) {
        output.outcome.failed = cannot_write(request.path, locked);
        return;
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        const io_result named = output.file.publish(request.path, replace);
        if (named.ok()) {
            file_status status;
            output.published = true;
            output.identity = output.file.status(status).ok() ? status.identity : file_identity{};
            return;
        }
        if (!named.is(io_reason::exists) || request.mode == write_mode::create) {
            output.outcome.failed = named.is(io_reason::exists) ? failure{failure_kind::exists, request.path}
                                                                : cannot_write(request.path, named);
            return;
        }
        // Somebody made the file meanwhile: add to it, as to any other. When
        // that somebody is an earlier output of this very commit, which holds
        // the lock until its name is durable, add through its own file.
        path_kind kind = path_kind::missing;
        file_identity there;
        const bool looked = inspect_path(request.path, kind, there).ok() && kind == path_kind::regular;
        const auto ours = std::find_if(earlier.begin(), earlier.end(),
                                       [&](const entry& e) { return looked && e.published && there == e.identity; });
        if (ours != earlier.end()) {
            io_result added = write_all(ours->file, output.bytes);
            if (added.ok()) {
                added = ours->file.sync();
            }
            output.outcome.failed = added.ok() ? std::nullopt : maybe_failure(cannot_write(request.path, added));
            output.host = &*ours;
            return;
        }
        output.outcome = append_existing(request.path, output.bytes, request.input, patience_);
        if (!output.outcome.failed || !output.outcome.failed->cause.is(io_reason::missing)) {
            return;
        }
    }
    output.outcome.failed = failure{failure_kind::name_unsteady, request.path};
}

void output_stager::make_names_durable()
{
    // Each folder once, however many outputs it took; a batch's outputs
    // mostly share one, so the last folder seen is looked at first.
    std::vector<std::pair<path_string, io_result>> folders;
    for (entry& output : entries_) {
        if (!output.published) {
            continue;
        }
        path_string folder = folder_of(output.request.path);
        auto known = std::find_if(folders.rbegin(), folders.rend(), [&](const auto& f) { return f.first == folder; });
        if (known == folders.rend()) {
            folders.emplace_back(std::move(folder), io_ok);
            known = folders.rbegin();
        }
        output.folder = static_cast<std::size_t>(folders.rend() - known - 1);
    }
    for (auto& [folder, synced] : folders) {
        synced = sync_folder(folder);
    }
    for (entry& output : entries_) {
        if (!output.published) {
            continue;
        }
        if (const io_result& synced = folders[output.folder].second; !synced.ok()) {
            // A new name that may not survive a power cut is no success. A
            // replacement has already taken the old file's place, so there is
            // nothing left to go back to.
            if (output.request.mode != write_mode::replace) {
                (void)output.file.unpublish(output.request.path);
            }
            output.outcome.failed = cannot_write(output.request.path, synced);
        } else {
            output.outcome.late_close = output.file.close();
        }
    }
    for (entry& output : entries_) {
        if (output.host != nullptr && output.host->outcome.failed && !output.outcome.failed) {
            output.outcome.failed = cannot_write(output.request.path, output.host->outcome.failed->cause);
        }
    }
}

std::vector<output_outcome> output_stager::commit()
{
    for (entry& output : entries_) {
        write_at_once(output);
    }
    sync_new_files();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        entry& output = entries_[i];
        if (output.is_new && !output.outcome.failed) {
            publish(output, std::span(entries_).first(i));
        }
    }
    make_names_durable();
    std::vector<output_outcome> outcomes;
    outcomes.reserve(entries_.size());
    for (entry& output : entries_) {
        outcomes.push_back(std::move(output.outcome));
    }
    entries_.clear();
    return outcomes;
}

} // namespace txconv
