#include "fileio/outputs.hpp"
#include "fileio/stager_entry.hpp"
#include "fileio/writing.hpp"

#include <algorithm>

namespace txconv {

namespace {

// How many new outputs wait, open, for one shared round of syncs, at most.
constexpr std::size_t WINDOW = 256;

} // namespace

maybe_failure refuse_target(const output_request& request)
{
    path_kind kind = path_kind::missing;
    file_identity identity;
    if (!inspect_path(request.path, kind, identity, request.typed).ok() || kind == path_kind::missing) {
        return std::nullopt;
    }
    if (kind != path_kind::regular) {
        // A device or a FIFO that the user named is written to as it is.
        return request.typed
                   ? std::nullopt
                   : maybe_failure(cannot_write(
                         request.path, {kind == path_kind::symlink ? io_reason::symlink : io_reason::not_regular}));
    }
    if (request.input && identity == *request.input) {
        return failure{failure_kind::same_file, request.path};
    }
    if (request.mode == write_mode::create) {
        return failure{failure_kind::exists, request.path};
    }
    return std::nullopt;
}

output_stager::output_stager(lock_patience patience) : patience_(patience) {}

output_stager::~output_stager() = default;

void output_stager::stage(output_request request, std::span<const char> data)
{
    entry& output = entries_.emplace_back();
    output.target = request.typed ? resolve_links(request.path) : request.path;
    output.request = std::move(request);
    output.bytes.assign(data.begin(), data.end());
}

bool output_stager::full()
{
    if (entries_.empty()) {
        return false;
    }
    if (window_ == 0) {
        // Asked once a second output comes: the descriptors free now, less
        // one for the input, one for a folder's sync, one for an append and
        // one to spare.
        const std::size_t spare = open_files_to_spare();
        window_ = std::clamp<std::size_t>(spare > 4 ? spare - 4 : 1, 1, WINDOW);
    }
    return entries_.size() >= window_;
}

void output_stager::write_at_once(entry& output) const
{
    const output_request& request = output.request;
    if (request.path.empty()) {
        output.outcome = write_standard_output(output.bytes, request.input);
        return;
    }
    path_kind kind = path_kind::missing;
    file_identity identity;
    if (request.typed && inspect_path(output.target, kind, identity, true).ok() && kind == path_kind::other) {
        output.outcome = write_stream(output.target, output.bytes);
        output.outcome.failed =
            output.outcome.failed ? cannot_write(request.path, output.outcome.failed->cause) : output.outcome.failed;
        return;
    }
    if (request.mode == write_mode::append) {
        output.outcome = append_existing(output.target, output.bytes, request.input, patience_);
        if (!output.outcome.failed || !output.outcome.failed->cause.is(io_reason::missing)) {
            return;
        }
        output.outcome = {};
    }
    write_new(output);
}

void output_stager::write_new(entry& output) const
{
    const output_request& request = output.request;
    if (const io_result made = output.file.create_unnamed(output.target, request.permissions); !made.ok()) {
        // The file is made in its folder, and a failure there is the folder's.
        output.outcome.failed = cannot_write(folder_of(output.target), made);
        return;
    }
    if (const io_result wrote = write_all(output.file, output.bytes); !wrote.ok()) {
        output.outcome.failed = cannot_write(request.path, wrote);
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
