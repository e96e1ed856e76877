#include "fileio/outputs.hpp"

#include "fileio/writing.hpp"

#include <algorithm>

namespace txconv {

namespace {

// How many new outputs wait, open, for one shared round of syncs, at most.
constexpr std::size_t WINDOW = 256;

// What stands at an output's name, or nothing where looking failed.
std::optional<path_facts> look_at(const path_string& path, bool follow = false)
{
    const io_expected<path_facts> facts = inspect_path(path, follow);
    return facts ? std::optional(*facts) : std::nullopt;
}

// The identity of standard output where it is a regular file.
std::optional<file_identity> standard_output_file()
{
    const io_expected<file_status> status = native_file::standard_output().status();
    return status && status->regular ? std::optional(status->identity) : std::nullopt;
}

} // namespace

// How far one staged output got.
enum class entry_state : std::uint8_t {
    staged,  // nothing written yet
    settled, // written where it goes, or failed: its outcome is final
    unnamed, // a new file, written and waiting for its name
    named,   // a new file with its name, waiting for its folder's sync
    added,   // added to an earlier output's new file; stands or falls with it
};

struct output_stager::entry {
    output_request request;
    // Where the file really goes: the end of the links at a typed path.
    path_string target;
    std::vector<char> bytes;
    entry_state state = entry_state::staged;
    // A new file, written under no name and waiting for one.
    native_file file;
    // Which file the new one is, once named, so that a later output of this
    // commit that finds it at its name can add to it.
    file_identity identity;
    // Where the folder of a named output stands among the commit's folders.
    std::size_t folder = 0;
    // The earlier output whose new file this one was added to.
    const entry* added_to = nullptr;
    output_outcome outcome;

    subject about() const { return request.to; }
    void fail(failure why)
    {
        outcome.failed = std::move(why);
        state = entry_state::settled;
    }
};

file_expected<> refuse_target(const output_request& request)
{
    if (request.to.kind == subject_kind::standard_output) {
        const std::optional<file_identity> file = standard_output_file();
        if (file && is_one_of(*file, request.inputs)) {
            return std::unexpected(failure{.kind = failure_kind::same_file, .about = request.to});
        }
        return {};
    }
    const io_expected<path_facts> there = inspect_path(request.to.path, request.named_by_user);
    if (!there && there.error().is(io_reason::link_loop)) {
        return std::unexpected(cannot_write(request.to, there.error()));
    }
    if (!there || there->kind == path_kind::missing) {
        return {};
    }
    if (there->kind != path_kind::regular) {
        // A device or a FIFO that the user named is written to as it is.
        if (request.named_by_user) {
            return {};
        }
        return std::unexpected(cannot_write(
            request.to, {there->kind == path_kind::symlink ? io_reason::symlink : io_reason::not_regular}));
    }
    if (is_one_of(there->identity, request.inputs)) {
        return std::unexpected(failure{.kind = failure_kind::same_file, .about = request.to});
    }
    if (request.mode == write_mode::create) {
        return std::unexpected(failure{.kind = failure_kind::exists, .about = request.to});
    }
    return {};
}

bool output_key::meets(const output_key& other) const
{
    return (file && file == other.file) || (folder && folder == other.folder && name == other.name);
}

output_key key_of(const output_request& request)
{
    output_key key;
    if (request.to.kind == subject_kind::standard_output) {
        key.file = standard_output_file();
        return key;
    }
    const path_string target = request.named_by_user ? resolve_links(request.to.path) : request.to.path;
    if (const auto there = look_at(target); there && there->kind == path_kind::regular) {
        key.file = there->identity;
    }
    if (const auto folder = look_at(folder_of(target), true); folder && folder->kind != path_kind::missing) {
        key.folder = folder->identity;
        key.name = target.substr(file_name_start(target));
    }
    return key;
}

output_stager::output_stager(lock_patience patience) : patience_(patience) {}

output_stager::~output_stager() = default;

void output_stager::stage(output_request request, std::span<const char> data)
{
    entry& output = entries_.emplace_back();
    output.target = request.named_by_user ? resolve_links(request.to.path) : request.to.path;
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
    output.state = entry_state::settled;
    if (request.to.kind == subject_kind::standard_output) {
        output.outcome = write_standard_output(output.bytes, request.inputs);
        return;
    }
    // Only a path the user named can lead to a device or a FIFO.
    const auto there = request.named_by_user ? look_at(output.target, true) : std::nullopt;
    if (there && there->kind == path_kind::other) {
        output.outcome = write_stream(output.target, output.bytes);
        if (output.outcome.failed) {
            output.outcome.failed->about = request.to;
        }
        return;
    }
    if (request.mode == write_mode::append) {
        output.outcome = append_existing(output.target, output.bytes, request.inputs, patience_);
        if (!output.outcome.failed || !output.outcome.failed->cause ||
            !output.outcome.failed->cause->is(io_reason::missing)) {
            return;
        }
        output.outcome = {};
    }
    write_new(output);
}

void output_stager::write_new(entry& output) const
{
    if (const io_expected<> made = output.file.create_unnamed(output.target, output.request.permissions); !made) {
        // The file is made in its folder, and a failure there is the folder's.
        failure why = cannot_write(output.about(), made.error());
        why.cause_in = folder_of(output.target);
        output.fail(std::move(why));
        return;
    }
    if (const io_expected<> wrote = write_all(output.file, output.bytes); !wrote) {
        output.fail(cannot_write(output.about(), wrote.error()));
        return;
    }
    output.state = entry_state::unnamed;
}

void output_stager::sync_new_files()
{
    // Synced first, all of them together where the system can, so that one
    // flush carries them all; a failure then fails every one of them, as
    // nobody can tell which file it hit.
    std::vector<native_file*> files;
    for (entry& output : entries_) {
        if (output.state == entry_state::unnamed) {
            files.push_back(&output.file);
        }
    }
    const bool together = files.size() > 1 && syncs_file_systems();
    const io_expected<> all = together ? sync_file_systems(files) : io_expected<>{};
    for (entry& output : entries_) {
        if (output.state == entry_state::unnamed) {
            if (const io_expected<> synced = together ? all : output.file.sync(); !synced) {
                output.fail(cannot_write(output.about(), synced.error()));
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
        if (entries_[i].state == entry_state::unnamed) {
            publish(entries_[i], std::span(entries_).first(i));
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

void output_stager::publish(entry& output, std::span<entry> earlier) const
{
    // Held until the name is durable: an append that finds the name meanwhile
    // waits, and so is not lost if the name has to be taken away again.
    if (const io_expected<> locked = output.file.try_lock(); !locked) {
        output.fail(cannot_write(output.about(), locked.error()));
        return;
    }
    if (output.request.mode == write_mode::replace) {
        publish_replacement(output);
    } else {
        publish_new(output, earlier);
    }
}

void output_stager::publish_replacement(entry& output) const
{
    // Whatever stands at the name now is what the rename would take away,
    // and the replacement lets whom the old file let.
    output_request at_target = output.request;
    at_target.to.path = output.target;
    at_target.named_by_user = false;
    if (auto refused = refuse_target(at_target); !refused) {
        refused.error().about = output.about();
        output.fail(std::move(refused.error()));
        return;
    }
    if (const auto old = look_at(output.target); old && old->kind == path_kind::regular) {
        if (const io_expected<> adopted = output.file.adopt_permissions_of(output.target); !adopted) {
            output.fail(cannot_write(output.about(), adopted.error()));
            return;
        }
    }
    // A replacement waits for another program that holds the old file.
    const auto named =
        wait_while_busy(output.about(), patience_, [&] { return output.file.publish(output.target, true); });
    if (!named) {
        output.fail(named.error());
    } else if (!*named) {
        output.fail(cannot_write(output.about(), named->error()));
    } else {
        output.state = entry_state::named;
    }
}

namespace {

// The earlier output of this commit whose new file now stands at target.
output_stager::entry* made_by_earlier(const path_string& target, std::span<output_stager::entry> earlier)
{
    const std::optional<path_facts> there = look_at(target);
    if (!there || there->kind != path_kind::regular) {
        return nullptr;
    }
    const auto ours = std::find_if(earlier.begin(), earlier.end(), [&](const output_stager::entry& e) {
        return e.state == entry_state::named && there->identity == e.identity;
    });
    return ours != earlier.end() ? &*ours : nullptr;
}

// Adds output's bytes through the earlier output's own file, which holds
// the lock until its name is durable, as any append: whole, or cut back.
void add_to_earlier(output_stager::entry& output, output_stager::entry& earlier)
{
    const io_expected<file_status> status = earlier.file.status();
    output.outcome.held_before = status ? status->size : 0;
    const file_expected<> added = status
                                      ? append_locked(earlier.file, output.about(), status->size, output.bytes)
                                      : file_expected<>(std::unexpected(cannot_write(output.about(), status.error())));
    output.outcome.failed = added ? std::nullopt : std::optional(added.error());
    output.state = added ? entry_state::added : entry_state::settled;
    output.added_to = &earlier;
}

} // namespace

void output_stager::publish_new(entry& output, std::span<entry> earlier) const
{
    const bool create = output.request.mode == write_mode::create;
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        const io_expected<> named = output.file.publish(output.target, false);
        if (named) {
            const io_expected<file_status> status = output.file.status();
            output.identity = status ? status->identity : file_identity{};
            output.state = entry_state::named;
            return;
        }
        if (!named.error().is(io_reason::exists) || create) {
            output.fail(named.error().is(io_reason::exists)
                            ? failure{.kind = failure_kind::exists, .about = output.about()}
                            : cannot_write(output.about(), named.error()));
            return;
        }
        // Somebody made the file meanwhile: add to it, as to any other. When
        // that somebody is an earlier output of this very commit, which holds
        // the lock until its name is durable, add through its own file.
        if (entry* ours = made_by_earlier(output.target, earlier)) {
            add_to_earlier(output, *ours);
            return;
        }
        output.outcome = append_existing(output.target, output.bytes, output.request.inputs, patience_);
        const std::optional<failure>& failed = output.outcome.failed;
        if (!failed || !failed->cause || !failed->cause->is(io_reason::missing)) {
            output.state = entry_state::settled;
            return;
        }
    }
    output.fail({.kind = failure_kind::name_kept_changing, .about = output.about()});
}

void output_stager::make_names_durable()
{
    // Each folder once, however many outputs it took; a batch's outputs
    // mostly share one, so the last folder seen is looked at first.
    std::vector<std::pair<path_string, io_expected<>>> folders;
    for (entry& output : entries_) {
        if (output.state != entry_state::named) {
            continue;
        }
        path_string folder = folder_of(output.target);
        auto known = std::find_if(folders.rbegin(), folders.rend(), [&](const auto& f) { return f.first == folder; });
        if (known == folders.rend()) {
            folders.emplace_back(std::move(folder), io_expected<>{});
            known = folders.rbegin();
        }
        output.folder = static_cast<std::size_t>(folders.rend() - known - 1);
    }
    for (auto& [folder, synced] : folders) {
        synced = sync_folder(folder);
    }
    for (entry& output : entries_) {
        if (output.state != entry_state::named) {
            continue;
        }
        if (const auto& [folder, synced] = folders[output.folder]; !synced) {
            // A new name that may not survive a power cut is no success. A
            // replacement has already taken the old file's place, so there is
            // nothing left to go back to.
            if (output.request.mode != write_mode::replace) {
                (void)output.file.unpublish(output.target);
            }
            failure why = cannot_write(output.about(), synced.error());
            why.cause_in = folder;
            output.fail(std::move(why));
        } else {
            const io_expected<> closed = output.file.close();
            output.outcome.late_close = closed ? std::nullopt : std::optional(closed.error());
            output.state = entry_state::settled;
        }
    }
    for (entry& output : entries_) {
        if (output.state == entry_state::added && output.added_to->outcome.failed) {
            output.fail(cannot_write(output.about(), output.added_to->outcome.failed->cause.value_or(io_error{})));
        }
    }
}

} // namespace txconv
