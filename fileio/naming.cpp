// The stager's last steps: giving new files their names, and making the
// names durable.
#include "fileio/stager_entry.hpp"
#include "fileio/writing.hpp"

#include <algorithm>

namespace txconv {

void output_stager::publish(entry& output, std::span<entry> earlier) const
{
    const output_request& request = output.request;
    const bool replace = request.mode == write_mode::replace;
    // Whatever stands at the name now is what the rename would take away,
    // and the replacement lets whom the old file let.
    if (replace) {
        output_request at_target = request;
        at_target.path = output.target;
        if (auto refused = refuse_target(at_target)) {
            output.outcome.failed = std::move(refused);
            return;
        }
        path_kind kind = path_kind::missing;
        file_identity old;
        const bool there = inspect_path(output.target, kind, old).ok() && kind == path_kind::regular;
        if (const io_result adopted = there ? output.file.adopt_permissions_of(output.target) : io_ok; !adopted.ok()) {
            output.outcome.failed = cannot_write(request.path, adopted);
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
        // A replacement waits for another program that holds the old file.
        io_result named;
        if (auto gave_up = wait_while_busy(
                request.path, patience_, [&] { return output.file.publish(output.target, replace); }, named)) {
            output.outcome.failed = std::move(gave_up);
            return;
        }
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
        const bool looked = inspect_path(output.target, kind, there).ok() && kind == path_kind::regular;
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
        output.outcome = append_existing(output.target, output.bytes, request.input, patience_);
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
        path_string folder = folder_of(output.target);
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
                (void)output.file.unpublish(output.target);
            }
            output.outcome.failed = cannot_write(folders[output.folder].first, synced);
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

} // namespace txconv
