#pragma once

// Files as the system has them: paths in its own form, which file a name
// stands for, open files and the steps on them, and how names are given and
// made durable. One file per system implements it; above this layer nothing
// calls the system about files.

#include "platform/io_error.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace txconv {

// Paths stay in the platform's own form, so no file name is ever mangled:
// bytes on POSIX, UTF-16 on Windows.
using path_string = std::filesystem::path::string_type;
using path_char = path_string::value_type;

// How often a name is tried before giving up, where others keep taking it
// or taking it away: more than any honest race needs, and still a bound.
inline constexpr int NAME_ATTEMPTS = 100;

// The path as UTF-8, for diagnostics and notices.
std::string display_path(const path_string& path);

// Which file an open file or a name is, whatever name it was reached by:
// device and inode on POSIX, volume and file index on Windows.
struct file_identity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // Where a file system's ids are wider than 64 bits.
    std::uint64_t index_high = 0;

    auto operator<=>(const file_identity&) const = default;
};

// What stands at a path, looked at without following a link there, unless
// follow says to. Nothing there is missing, not a failure.
enum class path_kind { missing, regular, symlink, other };
struct path_facts {
    path_kind kind = path_kind::missing;
    file_identity identity;
    // When its status last changed (POSIX) or it was last written
    // (Windows): a file that takes a freed number, as a new file may at
    // once, still differs from the one that had it.
    std::int64_t changed = 0;
};
io_expected<path_facts> inspect_path(const path_string& path, bool follow = false);

// The path that the links at path lead to, in the end: path itself where
// there is no link. Whatever is at the end need not exist.
path_string resolve_links(const path_string& path);

enum class standard_stream { input, output, error };

// The standard stream that a path the user typed leads to through links,
// as /dev/stdout and /dev/fd/0 do: that stream, not a file of that name.
// Nothing for any other path, and for a path that is no link.
std::optional<standard_stream> standard_stream_behind(const path_string& path);

// What the system makes of a name before any file is looked at. On Windows
// a name it keeps for a device is refused (as device_name), unless the user
// typed it as an output, which is then written to the device, and so is a
// name with a stream part (stream_name). Elsewhere every name is a name.
io_expected<> check_name(const path_string& path, bool output_named_by_user);

// The name the system opens for path: on Windows without the trailing dots
// and spaces of its last part; elsewhere path itself.
path_string name_as_opened(const path_string& path);

// Where the system leaves wildcards to the program (Windows), each argument
// with '*' or '?' in its last part that names no file becomes the files it
// matches, in order; one that matches nothing stays as it is.
void expand_wildcards(std::vector<path_string>& arguments);

// Whether options may also take the system's own form, "/?" for help.
bool slash_options();

// How many leading characters of path name its folder, the separator
// included: where its file name starts. Only '/' ends a folder name on
// POSIX, where '\\' is a character like any other; '\\' and '/' on Windows.
std::size_t file_name_start(const path_string& path);

// A fresh hidden name in the folder of path, for a file on its way there:
// the platform's own files' business.
path_string temporary_name_beside(const path_string& path);

// The folder that holds path: "." for a bare name.
path_string folder_of(const path_string& path);

// Flushes a folder, so that a name made or changed in it survives a power
// cut.
io_expected<> sync_folder(const path_string& folder);

class native_file;

// Whether sync_file_system_of() is worth calling: one flush of a file
// system for all its files, which reports a failed write of any of them.
// Where it is not, each file needs its own sync().
bool syncs_file_systems();
io_expected<> sync_file_system_of(const native_file& file);

// How many more files this process may open now, counting what is open
// already, so that outputs waiting to be synced together never run it out of
// descriptors.
std::size_t open_files_to_spare();

// What one look at an open file tells.
struct file_status {
    file_identity identity;
    std::uint64_t size = 0;
    // Who may read and write it: the mode's permission bits on POSIX.
    std::uint32_t permissions = 0;
    bool regular = false;
    // The file has lost its last name since it was opened.
    bool removed = false;
};

// One open file. Closing is explicit wherever its result matters; the
// destructor only makes sure that nothing stays open and that a file made by
// create_unnamed() and never published leaves nothing behind.
class native_file {
public:
    native_file() = default;
    // Moved, never copied (declaring the moves deletes the copies): a copy
    // would close the file twice.
    native_file(native_file&& other) noexcept;
    native_file& operator=(native_file&& other) noexcept;
    ~native_file();

    // The process's own standard input or output, borrowed: never closed here.
    static native_file standard(standard_stream stream);

    // Opens a file to read, and tells what it is. A link is followed (the
    // user named it), but anything other than a regular file is refused, and
    // a FIFO or device cannot make the open wait.
    io_expected<file_status> open_for_reading(const path_string& path);

    // Opens an existing regular file at path to add to its end. Nothing is
    // created, a link at path is not followed (a typed path's links are
    // resolved before), and the open never waits. Fails as missing when
    // nothing is there.
    io_expected<> open_for_appending(const path_string& path);

    // Opens what is at path, a device, a FIFO or a terminal, to write to it
    // as a stream.
    io_expected<> open_stream(const path_string& path);

    // A new, empty file in the folder of beside that has no name yet, or only
    // a hidden temporary one: nobody sees it until publish(). It will let
    // whom permissions let, less what the process's umask withholds.
    io_expected<> create_unnamed(const path_string& beside, std::uint32_t permissions = 0666);

    // Gives a file from create_unnamed() the permissions, and where the
    // process may, the owner of the file at old, which it is to replace.
    io_expected<> adopt_permissions_of(const path_string& old);

    // Gives a file from create_unnamed() the name path, which must be free:
    // an existing name is never touched, and the result is exists.
    io_expected<> publish(const path_string& path);

    // Gives a file from create_unnamed() the name path in place of the file
    // old, and of no other: where another file stands there now, it stays,
    // and the result is changed. Where nothing stands there, as publish().
    io_expected<> replace(const path_string& path, const path_facts& old);

    // Takes a published name away again, but only while it still names this
    // very file.
    io_expected<> unpublish(const path_string& path);

    // Tries once to take an exclusive lock on the whole file, held until
    // close; busy while another program holds one.
    io_expected<> try_lock();

    // 0 bytes read only at the end of the file.
    io_expected<std::size_t> read_some(std::span<char> into);
    io_expected<std::size_t> write_some(std::span<const char> from);
    io_expected<file_status> status() const;
    // Where the next read starts, for a file that has positions.
    io_expected<std::uint64_t> position() const;
    // Whether every write lands at the file's end, wherever its position.
    io_expected<bool> writes_at_end() const;
    // Moves where the next read, or a write that does not land at the end,
    // starts, for a regular file.
    io_expected<> seek(std::uint64_t offset);
    io_expected<> truncate(std::uint64_t length);
    // Waits until what was written is on the storage device.
    io_expected<> sync();
    io_expected<> close();

private:
    friend io_expected<> sync_file_system_of(const native_file& file);

    void release() noexcept;

    std::intptr_t handle_ = -1;
    bool borrowed_ = false;
    // The hidden name of a file from create_unnamed() until it is published,
    // where the platform needs one.
    path_string temporary_;
};

} // namespace txconv
