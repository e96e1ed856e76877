#include "fileio/file_access.hpp"

#include "fileio/writing.hpp"

#include <map>
#include <ranges>

namespace txconv {

// How far one staged output got.
enum class entry_state : std::uint8_t {
    staged,  // nothing written yet
    settled, // written where it goes, or failed: its outcome is final
    unnamed, // a new file, written and waiting for its name
    named,   // a new file with its name, waiting for its folder's sync
    added,   // added to an earlier output's new file; stands or falls with it
};

struct output_stager::entry {
    std::size_t job = 0;
    output_request request;
    std::string bytes;
    entry_state state = entry_state::staged;
    // A new file, written under no name and waiting for one, and which file
    // it is, so that a later output of this commit that finds it at its
    // name can add to it.
    native_file file;
    file_identity identity;
    // The earlier output whose new file this one was added to.
    const entry* added_to = nullptr;
    output_outcome outcome;

    const subject& about() const { return request.to; }
    const path_string& target() const { return request.look.target; }
    void fail(failure why)
    {
        outcome = std::unexpected(std::move(why));
        state = entry_state::settled;
    }
};

namespace {

// How many new outputs wait, open, for one shared round of syncs, at most.
constexpr std::size_t WINDOW = 256;

using entry = output_stager::entry;

// Adds output's bytes to the file at its name, as any append; false where
// no file stands there any more, so that the caller makes one instead.
bool appended(entry& output, const lock_patience& patience)
{
    output.outcome = append_to_file(output.target(), output.bytes, output.request.inputs, patience);
    return output.outcome || output.outcome.error().kind != failure_kind::cannot_write ||
           !output.outcome.error().cause.is(io_reason::missing);
}

// The earlier output of this commit whose new file now stands at target.
entry* made_by_earlier(const path_facts& there, std::span<entry> earlier)
{
    const auto ours = std::ranges::find_if(earlier, [&](const entry& e) {
        return e.state == entry_state::named && there.kind == path_kind::regular && there.identity == e.identity;
    });
    return ours != earlier.end() ? &*ours : nullptr;
}

// Adds output's bytes through the earlier output's own file, which holds
// the lock until its name is durable, as any append: whole, or cut back.
void add_to_earlier(entry& output, entry& earlier)
{
    const io_expected<file_status> status = earlier.file.status();
    file_expected<> added =
        status ? write_or_undo(earlier.file, output.about(), {.length = status->size, .at = status->size}, output.bytes)
               : std::unexpected(cannot_write(output.about(), status.error()));
    if (!added) {
        output.fail(std::move(added.error()));
        return;
    }
    output.outcome = written{.held_before = status->size};
    output.state = entry_state::added;
    output.added_to = &earlier;
}

void write_new(entry& output)
{
    if (const io_expected<> made = output.file.create_unnamed(output.target(), output.request.permissions); !made) {
        // The file is made in its folder, and a failure there is the folder's.
        failure why = cannot_write(output.about(), made.error());
        why.cause_in = folder_of(output.target());
        output.fail(std::move(why));
        return;
    }
    io_expected<> done = write_all(output.file, output.bytes);
    // Which file it is, known before it has a name: one look serves the
    // shared syncs and any later output of this commit that meets it.
    const io_expected<file_status> status = done ? output.file.status() : io_expected<file_status>();
    if (!done || !status) {
        output.fail(cannot_write(output.about(), done ? status.error() : done.error()));
        return;
    }
    output.identity = status->identity;
    output.outcome = written{};
    output.state = entry_state::unnamed;
}

void write_at_once(entry& output, const lock_patience& patience)
{
    const output_request& request = output.request;
    output.state = entry_state::settled;
    if (request.to.kind == subject_kind::standard_output) {
        output.outcome = write_standard_output(output.bytes, request.look.file.has_value());
        return;
    }
    // Only a path the user named can lead to a device or a FIFO.
    if (request.look.there.kind == path_kind::other) {
        output.outcome = write_stream(output.about(), output.target(), output.bytes);
        return;
    }
    // Where the look found no file, none is opened to add to: one that
    // appears meanwhile is added to when the new file cannot take its name.
    if (request.mode != write_mode::append || !request.look.file || !appended(output, patience)) {
        write_new(output);
    }
}

void sync_new_files(std::span<entry> entries)
{
    // Synced first, all of them together where the system can, so that one
    // flush carries them all; a failure then fails every one of them, as
    // nobody can tell which file it hit.
    const auto unnamed = std::views::filter([](const entry& output) { return output.state == entry_state::unnamed; });
    const bool together = std::ranges::distance(entries | unnamed) > 1 && syncs_file_systems();
    std::vector<std::uint64_t> volumes;
    io_expected<> all;
    for (entry& output : entries | unnamed) {
        if (together && all && std::ranges::find(volumes, output.identity.volume) == volumes.end()) {
            all = sync_file_system_of(output.file);
            volumes.push_back(output.identity.volume);
        }
    }
    // Not through the filter: a failure takes the output out of it.
    for (entry& output : entries) {
        if (output.state == entry_state::unnamed) {
            if (const io_expected<> synced = together ? all : output.file.sync(); !synced) {
                output.fail(cannot_write(output.about(), synced.error()));
            }
        }
    }
}

void publish_replacement(entry& output, const path_facts& old, const lock_patience& patience)
{
    // The replacement lets whom the old file let, and takes the place of
    // that file alone; it waits for another program that holds it. Where the
    // old file is gone meanwhile, the new one is only named.
    file_expected<> named = wait_while_busy(output.about(), patience, [&] {
        const io_expected<> adopted = output.file.adopt_permissions_of(output.target());
        return adopted || adopted.error().is(io_reason::missing) ? output.file.replace(output.target(), old) : adopted;
    });
    if (named) {
        output.state = entry_state::named;
    } else {
        output.fail(std::move(named.error()));
    }
}

void publish(entry& output, std::span<entry> earlier, const lock_patience& patience)
{
    // Held until the name is durable: an append that finds the name meanwhile
    // waits, and so is not lost if the name has to be taken away again.
    if (const io_expected<> locked = output.file.try_lock(); !locked) {
        output.fail(cannot_write(output.about(), locked.error()));
        return;
    }
    const output_request& request = output.request;
    if (request.mode == write_mode::replace && request.replacing) {
        publish_replacement(output, request.replacing.value(), patience);
        return;
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        const io_expected<> named = output.file.publish(output.target());
        if (named) {
            output.state = entry_state::named;
            return;
        }
        if (!named.error().is(io_reason::exists) || request.mode != write_mode::append) {
            // A file that appeared after --force or a question found none
            // was no part of that decision.
            const bool decided = request.mode == write_mode::replace;
            output.fail(!named.error().is(io_reason::exists) ? cannot_write(output.about(), named.error())
                        : decided                            ? cannot_write(output.about(), {io_reason::changed})
                                  : failure{.kind = failure_kind::exists, .about = output.about()});
            return;
        }
        // Somebody made the file meanwhile: add to it, as to any other. When
        // that somebody is an earlier output of this very commit, which holds
        // the lock until its name is durable, add through its own file.
        const io_expected<path_facts> there = inspect_path(output.target());
        if (!there) {
            output.fail(cannot_write(output.about(), there.error()));
            return;
        }
        if (entry* ours = made_by_earlier(*there, earlier)) {
            add_to_earlier(output, *ours);
            return;
        }
        if (appended(output, patience)) {
            output.state = entry_state::settled;
            return;
        }
    }
    output.fail({.kind = failure_kind::name_kept_changing, .about = output.about()});
}

void make_names_durable(std::span<entry> entries)
{
    // Each folder once, however many outputs it took.
    std::map<path_string, io_expected<>> folders;
    for (entry& output : entries) {
        if (output.state != entry_state::named) {
            continue;
        }
        path_string folder = folder_of(output.target());
        const auto [known, fresh] = folders.try_emplace(folder);
        if (fresh) {
            known->second = sync_folder(folder);
        }
        if (!known->second) {
            // A new name that may not survive a power cut is no success. A
            // replacement has already taken the old file's place, so there is
            // nothing left to go back to.
            failure why = cannot_write(output.about(), known->second.error());
            why.cause_in = std::move(folder);
            if (output.request.mode != write_mode::replace || !output.request.replacing) {
                if (const io_expected<> taken_back = output.file.unpublish(output.target()); !taken_back) {
                    why.undo = taken_back.error();
                }
            }
            output.fail(std::move(why));
        } else {
            const io_expected<> closed = output.file.close();
            output.outcome->late_close = closed ? std::nullopt : std::optional(closed.error());
            output.state = entry_state::settled;
        }
    }
    for (entry& output : entries) {
        if (output.state == entry_state::added && !output.added_to->outcome) {
            // It stood in the earlier one's file, and fell with it.
            failure why = output.added_to->outcome.error();
            why.about = output.about();
            output.fail(std::move(why));
        }
    }
}

} // namespace

file_expected<> look_at_output(output_request& request)
{
    output_look& look = request.look;
    const subject& about = request.to;
    const auto same_file = [&] { return std::unexpected(failure{.kind = failure_kind::same_file, .about = about}); };
    if (about.kind == subject_kind::standard_output) {
        // A pipe or a terminal has no status worth the name; only a file
        // matters, and one that cannot say which file it is might be an input.
        const io_expected<file_status> status = native_file::standard(standard_stream::output).status();
        if (!status) {
            return std::unexpected(cannot_write(about, status.error()));
        }
        look.file = status->regular ? std::optional(status->identity) : std::nullopt;
        return look.file && is_one_of(*look.file, request.inputs) ? same_file() : file_expected<>();
    }
    // The one resolution of a typed path's links: the bytes land at its end.
    // A name that the system keeps for a device or a stream is refused first.
    look.target = request.named_by_user ? resolve_links(about.path) : about.path;
    const io_expected<> named = check_name(about.path, request.named_by_user);
    const io_expected<path_facts> there =
        named ? inspect_path(look.target, request.named_by_user) : std::unexpected(named.error());
    if (!there) {
        return std::unexpected(cannot_write(about, there.error()));
    }
    look.there = *there;
    look.file = there->kind == path_kind::regular ? std::optional(there->identity) : std::nullopt;
    // A device or a FIFO that the user named is written to as it is.
    if (there->kind == path_kind::symlink || (there->kind == path_kind::other && !request.named_by_user)) {
        return std::unexpected(
            cannot_write(about, {there->kind == path_kind::symlink ? io_reason::symlink : io_reason::not_regular}));
    }
    if (look.file && is_one_of(*look.file, request.inputs)) {
        return same_file();
    }
    if (look.file && request.mode == write_mode::create) {
        return std::unexpected(failure{.kind = failure_kind::exists, .about = about});
    }
    if (request.mode == write_mode::replace && !request.replacing) {
        // What --force decided on, at this first look.
        request.replacing = look.file ? std::optional(look.there) : std::nullopt;
    }
    return {};
}

output_stager::output_stager(lock_patience patience) : patience_(patience) {}

output_stager::~output_stager() = default;

void output_stager::stage(std::size_t job, output_request request, std::string data)
{
    entries_.emplace_back(job, std::move(request), std::move(data));
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

std::vector<std::pair<std::size_t, output_outcome>> output_stager::commit()
{
    for (entry& output : entries_) {
        write_at_once(output, patience_);
    }
    sync_new_files(entries_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].state == entry_state::unnamed) {
            publish(entries_[i], std::span(entries_).first(i), patience_);
        }
    }
    make_names_durable(entries_);
    std::vector<std::pair<std::size_t, output_outcome>> outcomes;
    outcomes.reserve(entries_.size());
    for (entry& output : entries_) {
        outcomes.emplace_back(output.job, std::move(output.outcome));
    }
    entries_.clear();
    return outcomes;
}

} // namespace txconv
