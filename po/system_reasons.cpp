// Not compiled: only xgettext reads this file, so that the catalog carries
// the system's reasons for what happens to files, as POSIX's strerror words
// them. system_reason() looks each one up by the words strerror gives;
// Windows words its own in the user's language already, and finds none of
// them here.

constexpr std::string_view SYSTEM_REASONS[] = {
    tr_later("No such file or directory"),
    tr_later("Permission denied"),
    tr_later("Operation not permitted"),
    tr_later("No space left on device"),
    tr_later("Disk quota exceeded"),
    tr_later("Read-only file system"),
    tr_later("Is a directory"),
    tr_later("Not a directory"),
    tr_later("File exists"),
    tr_later("Input/output error"),
    tr_later("File too large"),
    tr_later("File name too long"),
    tr_later("Too many levels of symbolic links"),
    tr_later("Too many open files"),
    tr_later("Too many open files in system"),
    tr_later("Invalid cross-device link"),
    tr_later("Device or resource busy"),
    tr_later("Text file busy"),
    tr_later("Broken pipe"),
    tr_later("Bad file descriptor"),
    tr_later("Invalid argument"),
    tr_later("Cannot allocate memory"),
    tr_later("No such device or address"),
    tr_later("No such device"),
    tr_later("Resource temporarily unavailable"),
    tr_later("Interrupted system call"),
    tr_later("Stale file handle"),
    tr_later("Operation not supported"),
};
