/* The system calls of a txconv batch and nothing else: for each input, open,
 * look, read its first bytes, close; then an unnamed file in its folder with
 * the output's bytes (zeros here), up to 256 waiting at once; one syncfs for
 * them all; each linked in under its name; the folder synced; all closed.
 * What is left of txconv's batch time beyond this is txconv's own work.
 *
 * usage: syscall_loop OUTPUT_BYTES FILE...   (outputs: FILE with "t" added) */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { WINDOW = 256 };

static void fail(const char* what)
{
    perror(what);
    exit(1);
}

int main(int argc, char** argv)
{
    static char input[380];
    static char output[1 << 16];
    const size_t size = (size_t)atol(argv[1]);
    int waiting[WINDOW];
    char names[WINDOW][4096];
    int count = 0;
    for (int i = 2; i < argc; ++i) {
        struct stat st;
        const int in = open(argv[i], O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (in < 0 || fstat(in, &st) != 0 || read(in, input, sizeof input) < 0 || close(in) != 0)
            fail(argv[i]);
        const int out = open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (out < 0 || write(out, output, size) != (ssize_t)size)
            fail("write");
        snprintf(names[count], sizeof names[count], "%st", argv[i]);
        waiting[count++] = out;
        if (count == WINDOW || i + 1 == argc) {
            if (syncfs(waiting[0]) != 0)
                fail("syncfs");
            for (int k = 0; k < count; ++k) {
                char self[64];
                snprintf(self, sizeof self, "/proc/self/fd/%d", waiting[k]);
                if (linkat(AT_FDCWD, self, AT_FDCWD, names[k], AT_SYMLINK_FOLLOW) != 0)
                    fail(names[k]);
            }
            const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder < 0 || fsync(folder) != 0 || close(folder) != 0)
                fail("folder");
            for (int k = 0; k < count; ++k)
                close(waiting[k]);
            count = 0;
        }
    }
    return 0;
}
