"""What txconv does when the files, the system or the input misbehave."""

import fcntl
import os
import random
import re
import resource
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import unittest

from harness import BINARY, OPEN_FAILED, SAME_FILE, WRITE_FAILED, image, listing, populate, run, snapshot

# Sanitized builds do a great deal at start-up that has nothing to do with
# txconv: system-call sweeps and address-space limits are for plain builds.
SANITIZED = "ASAN_OPTIONS" in os.environ

VALUES = [(0x2545F491 * (i + 3)) & 0xFFFFFFFF for i in range(95)]


def listing_to_table(text):
    """The listing rule, said plainly: the table image that text reads as."""
    values = []
    for p, byte in enumerate(text):
        if byte != ord("=") or len(values) == 95:
            continue
        field = text[p + 1:p + 9].split(b"\0")[0]
        ok = field and all(chr(c) in "0123456789abcdefABCDEF" for c in field)
        values.append(int(field, 16) & 0xFFFFFFFF if ok else 0)
    return image(values)


def limit_file_size(limit):
    """For preexec_fn: no file may grow past limit bytes. SIGXFSZ keeps its
    default action, which kills a process that does not ignore it."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
    return apply


def hold_lock(path, seconds, then=lambda: None):
    """Locks path as another appender would, and lets go after seconds,
    having done then."""
    f = open(path, "rb")
    fcntl.flock(f, fcntl.LOCK_EX)
    release = threading.Timer(seconds, lambda: (then(), f.close()))
    release.start()
    return release


def write(folder, name, content):
    populate(folder, {name: content})


class WriteFailsHalfWay(unittest.TestCase):
    # (options, input name, its content, answer, target, what the target held before)
    ROWS = [
        ([], "p.txt", listing(VALUES), b"1\n", "p.tx", b"\x01" * 1000),
        ([], "p.txt", listing(VALUES), b"1\n", "p.tx", b""),
        ([], "t.tx", image(VALUES), b"2\n", "t.txt", b"old line\r\n" * 50),
        ([], "t.tx", image(VALUES), b"2\n", "t.txt", b""),
        (["--append", "-2"], "t.tx", image(VALUES), b"", "t.txt", b"old line\r\n" * 50),
        # The replacement cannot be written whole: the old target stays.
        (["--force", "-2"], "t.tx", image(VALUES), b"", "t.txt", b"old line\r\n" * 50),
        (["--force", "-1"], "p.txt", listing(VALUES), b"", "p.tx", b"\x01" * 100),
    ]

    def test_target_is_left_as_it_was(self):
        for options, source, content, answer, target, old in self.ROWS:
            with self.subTest(options, target=target, old=len(old)), tempfile.TemporaryDirectory() as folder:
                write(folder, source, content)
                write(folder, target, old)
                result = run(options + [source], answer, cwd=folder, preexec_fn=limit_file_size(len(old) + 100))
                self.assertEqual(result.status, 1, result.stderr)
                self.assertIn(f"txconv: {target}: ", result.stderr)
                self.assertEqual(WRITE_FAILED in result.stderr, not options, "the notice belongs to the menu")
                self.assertEqual(snapshot(folder), {source: content, target: old})

    def test_standard_output_that_is_a_file_is_put_back(self):
        # A write that fails half way leaves the file as it was: its length,
        # and the old bytes wherever the write went over them.
        noise = bytes(random.Random(29).getrandbits(8) for _ in range(10000))
        rows = [  # (what, the file before, how standard output opens it, status, what it says)
            (">> out", b"kept", os.O_WRONLY | os.O_APPEND, 1, "File too large"),
            ("1<> out, inside the file", noise, os.O_RDWR, 1, "File too large"),
            ("1<> out, past the end of a short file", noise[:500], os.O_RDWR, 1, "File too large"),
            ("write-only, inside the file", noise, os.O_WRONLY, 1, "cannot be read back"),
        ]
        for what, before, flags, status, said in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                write(folder, "t.tx", image(VALUES))
                write(folder, "out", before)
                out = os.open(os.path.join(folder, "out"), flags)
                try:
                    with open(os.path.join(folder, "t.tx"), "rb") as table:
                        proc = subprocess.run([BINARY, "-2", "-"], stdin=table, stdout=out, stderr=subprocess.PIPE,
                                              cwd=folder, preexec_fn=limit_file_size(1024), timeout=30)
                finally:
                    os.close(out)
                self.assertEqual(proc.returncode, status, proc.stderr)
                self.assertIn(said, proc.stderr.decode())
                # Put back is put back: only what was written over is
                # written again, which the limit lets through.
                self.assertNotIn("failed too", proc.stderr.decode())
                self.assertEqual(snapshot(folder), {"t.tx": image(VALUES), "out": before})

    @unittest.skipIf(SANITIZED or not shutil.which("strace"), "needs strace and a plain build")
    def test_a_failed_look_at_standard_output_cuts_nothing(self):
        # Where standard output stands is learnt from fstat; when that fails,
        # a failed write must not cut the file back to a guess of 0.
        for nth in range(1, 6):
            with self.subTest(fstat=nth), tempfile.TemporaryDirectory() as folder:
                write(folder, "t.tx", image(VALUES))
                write(folder, "out", b"kept")
                with open(os.path.join(folder, "t.tx"), "rb") as table, open(os.path.join(folder, "out"), "ab") as out:
                    proc = subprocess.run(strace("-e", f"inject=fstat,newfstatat,statx:error=EIO:when={nth}") +
                                          ["-2", "-"], stdin=table, stdout=out, stderr=subprocess.PIPE, cwd=folder,
                                          preexec_fn=limit_file_size(1024), timeout=30)
                self.assertEqual(proc.returncode, 1, proc.stderr)
                self.assertEqual(snapshot(folder), {"t.tx": image(VALUES), "out": b"kept"})

    def test_a_target_made_for_a_failed_write_is_removed(self):
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "t.tx", image(VALUES))
            result = run(["t.tx"], b"2\n", cwd=folder, preexec_fn=limit_file_size(600))
            self.assertEqual(result.status, 1, result.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": image(VALUES)})


class ConcurrentAppends(unittest.TestCase):
    RUNS = 48

    def run_all_at_once(self, folder, names, answer):
        procs = [subprocess.Popen([BINARY, name], cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL) for name in names]
        for proc in procs:
            proc.stdin.write(answer)
            proc.stdin.close()
        return [proc.wait(timeout=60) for proc in procs]

    def test_every_output_lands_whole(self):
        # "x.1" to "x.48" all name the same target, "x.tx" or "x.txt", and
        # each input is different, so any interleaving would show.
        for answer, extension, make, size in ((b"1\n", "tx", listing, 380), (b"2\n", "txt", image, 1235)):
            with self.subTest(extension), tempfile.TemporaryDirectory() as folder:
                names = [f"x.{i}" for i in range(1, self.RUNS + 1)]
                expected = {}
                for i, name in enumerate(names):
                    write(folder, name, make([i] + VALUES[1:]))
                    expected[i] = image([i] + VALUES[1:]) if extension == "tx" else listing([i] + VALUES[1:])
                self.assertEqual(self.run_all_at_once(folder, names, answer), [0] * self.RUNS)
                with open(os.path.join(folder, "x." + extension), "rb") as f:
                    target = f.read()
                self.assertEqual(len(target), self.RUNS * size)
                pieces = sorted(target[k:k + size] for k in range(0, len(target), size))
                self.assertEqual(pieces, sorted(expected.values()))


class HostileInput(unittest.TestCase):
    def test_closed_standard_input(self):
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "t.tx", image(VALUES))
            result = run(["t.tx"], cwd=folder, stdin=subprocess.DEVNULL, preexec_fn=lambda: os.close(0))
            self.assertEqual(result.status, 0, result.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": image(VALUES)})

    def test_a_reader_that_went_away(self):
        # printf '2\n' | txconv t.tx | true: the menu cannot be shown, the
        # answer still arrives.
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "t.tx", image(VALUES))
            reader, writer = os.pipe()
            os.close(reader)
            proc = subprocess.run([BINARY, "t.tx"], input=b"2\n", stdout=writer, stderr=subprocess.PIPE, cwd=folder,
                                  timeout=30)
            os.close(writer)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": image(VALUES), "t.txt": listing(VALUES)})

    def test_descriptors_already_in_use(self):
        # A caller that hands down 1000 descriptors under a limit of 1024.
        def inherit_many():
            resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))
            for _ in range(1000):
                os.set_inheritable(os.dup(2), True)

        with tempfile.TemporaryDirectory() as folder:
            names = [f"t{i}.tx" for i in range(40)]
            for name in names:
                write(folder, name, image(VALUES))
            result = run(["-2", *names], cwd=folder, preexec_fn=inherit_many)
            self.assertEqual(result.status, 0, result.stderr)
            self.assertEqual(sum(name.endswith(".txt") for name in os.listdir(folder)), len(names))

    @unittest.skipIf(SANITIZED, "a sanitizer needs more memory than the limit")
    def test_out_of_memory(self):
        # The least address space in which txconv starts at all (--version)
        # leaves no room for the buffer a conversion reads through.
        def limited(kib):
            return lambda: resource.setrlimit(resource.RLIMIT_AS, (kib << 10,) * 2)

        least = next(kib for kib in range(1000, 8000, 25) if run(["--version"], preexec_fn=limited(kib)).status == 0)
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "p.txt", listing(VALUES))
            result = run(["-1", "p.txt"], cwd=folder, preexec_fn=limited(least))
            self.assertEqual((result.status, result.stderr), (1, "txconv: out of memory\n"))
            self.assertEqual(snapshot(folder), {"p.txt": listing(VALUES)})

    def test_an_endless_stream_ends_every_job(self):
        # One budget, wherever a stream is read: each job kind on /dev/zero,
        # on yes and on a FIFO that repeats a listing for ever. A listing of
        # zeros or of "y" lines never completes a table; the FIFO's does, and
        # a table always does; --image last never comes.
        endless = "it went on without giving the table asked for"
        goes_on = "goes on past what a table needs"
        rows = [  # (arguments, reads a listing, what it needs: "first", "last", "unreached" or "too many")
            (["-1", "-o", "out.tx", "-"], True, "first"),
            (["-2", "-o", "out.txt", "-"], False, "first"),
            (["-2", "--show", "-"], False, "first"),
            (["-1", "--show", "-"], True, "first"),
            (["-2", "--diff", "-", "t.tx"], False, "first"),
            (["-2", "--diff", "t.tx", "-"], False, "first"),
            (["-1", "--diff", "-", "p.txt"], True, "first"),
            (["-2", "--plot", "-o", "p.svg", "-"], False, "first"),
            (["-1", "--check", "-"], True, "first"),
            (["-2", "--check", "-"], False, "first"),
            (["-2", "--strict", "-o", "out.txt", "-"], False, "first"),
            (["-2", "--show", "--image", "3", "-"], False, "first"),
            (["-1", "--show", "--image", "3", "-"], True, "first"),
            (["-2", "--show", "--image", "last", "-"], False, "last"),
            (["-1", "--show", "--image", "last", "-"], True, "last"),
            (["-2", "--show", "--image", "176602", "-"], False, "first"),  # the last one 64 MiB hold
            (["-2", "--show", "--image", "176603", "-"], False, "too many"),
            (["-2", "--show", "--image", "200000", "-"], False, "too many"),
            # A field takes a byte at the least: 64 MiB may hold that many
            # tables of a listing, so it is read, and never gets there.
            (["-1", "--show", "--image", "706409", "-"], True, "unreached"),
            (["-1", "--show", "--image", "706410", "-"], True, "too many"),
            (["-1", "--show", "--image", "18446744073709551615", "-"], True, "too many"),
        ]
        for source in ("zeros", "yes", "fifo"):
            for args, reads_listing, needs in rows:
                with self.subTest(source=source, args=args), tempfile.TemporaryDirectory() as folder:
                    write(folder, "t.tx", image(VALUES))
                    write(folder, "p.txt", listing([1]))
                    if needs == "too many":
                        status, said = 1, "cannot be read: a stream is read no further than 64 MiB, which cannot hold"
                    elif needs in ("last", "unreached") or (reads_listing and source != "fifo"):
                        status, said = 1, endless
                    elif "--check" in args or "--strict" in args:
                        status, said = 1, goes_on + "; a table file takes 380 bytes"
                    else:
                        status, said = 1 if "--diff" in args else 0, goes_on + "; read no further"
                    if "--diff" in args and status == 1 and not said.startswith(goes_on):
                        status = 2
                    result = self.run_on_stream(source, args, folder)
                    self.assertEqual(result.status, status, result.stderr)
                    self.assertIn(said, result.stderr)

    def run_on_stream(self, source, args, folder):
        if source == "zeros":
            with open("/dev/zero", "rb") as zeros:
                return run(args, cwd=folder, stdin=zeros, timeout=120)
        if source == "yes":
            feeder = subprocess.Popen(["yes"], stdout=subprocess.PIPE)
            try:
                return run(args, cwd=folder, stdin=feeder.stdout, timeout=120)
            finally:
                feeder.kill()
                feeder.wait()
        fifo = os.path.join(folder, "fifo")
        os.mkfifo(fifo)

        def feed():
            try:
                with open(fifo, "wb") as out:
                    while True:
                        out.write(listing(VALUES) * 100)
            except OSError:
                pass  # the reader has gone

        feeder = threading.Thread(target=feed, daemon=True)
        feeder.start()
        with open(fifo, "rb") as stream:
            result = run(args, cwd=folder, stdin=stream, timeout=120)
        feeder.join(timeout=10)
        os.unlink(fifo)
        return result

    def test_the_length_of_a_huge_table_file_is_not_read(self):
        # --check --strict on a 20 GB sparse file learns its length from the system.
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "big.tx", image(VALUES))
            os.truncate(os.path.join(folder, "big.tx"), 20 << 30)
            result = run(["--check", "--strict", "-2", "big.tx"], cwd=folder, timeout=5)
            self.assertEqual(result.status, 1)
            self.assertIn("holds 21474836480 bytes", result.stderr)
            # A chosen table is read where it lies, not read up to.
            for chosen in ("2", "last"):
                result = run(["--show", "--image", chosen, "big.tx"], cwd=folder, timeout=5)
                self.assertEqual((result.status, result.stderr), (0, "txconv: big.tx: holds 21474836480 bytes: "
                                                                     "56512727 tables and 220 bytes of one cut short\n"))

    def test_an_endless_answer(self):
        limit = None if SANITIZED else lambda: resource.setrlimit(resource.RLIMIT_AS, (300_000 << 10,) * 2)
        with tempfile.TemporaryDirectory() as folder, open("/dev/zero", "rb") as zeros:
            write(folder, "t.tx", image(VALUES))
            result = run(["t.tx"], cwd=folder, stdin=zeros, preexec_fn=limit)
            self.assertEqual(result.status, 0, result.stderr)
            self.assertEqual(snapshot(folder), {"t.tx": image(VALUES)})

    def test_long_values_read_to_the_last_table_keep_one_chunk(self):
        # The digits behind each field are looked at where they stand, not
        # carried on with the rest of the chunk.
        limit = None if SANITIZED else lambda: resource.setrlimit(resource.RLIMIT_AS, (16 << 20,) * 2)
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "l.txt", b"uv=123456789\r\n" * 3_000_000)
            result = run(["--show", "--image", "last", "l.txt"], cwd=folder, preexec_fn=limit)
            self.assertEqual(result.status, 0, result.stderr[-200:])

    def test_a_lock_held_by_another_program(self):
        # Held for 1.5 s: the run says once that it waits, then appends; held
        # for less than the second it waits unsaid. With standard error closed
        # at start, the target must not become it. A holder that takes the
        # file's name away leaves the name free for a new file.
        for what, held, preexec, said, gone in (
                ("said once", 1.5, None, 1, False), ("a short wait goes unsaid", 0.3, None, 0, False),
                ("standard error closed", 1.5, lambda: os.close(2), 0, False),
                ("the holder takes the file away", 0.5, None, 0, True)):
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                write(folder, "p.txt", listing(VALUES))
                write(folder, "p.tx", b"old")
                target = os.path.join(folder, "p.tx")
                holder = hold_lock(target, held, (lambda: os.unlink(target)) if gone else (lambda: None))
                result = run(["p.txt"], b"1\n", cwd=folder, preexec_fn=preexec)
                holder.join()
                self.assertEqual(result.status, 0, result.stderr)
                self.assertEqual(result.stderr.count("txconv: p.tx: waiting for another program to release it\n"),
                                 said, result.stderr)
                self.assertEqual(snapshot(folder), {"p.txt": listing(VALUES),
                                                    "p.tx": (b"" if gone else b"old") + image(VALUES)})

    def test_an_answer_of_100000_characters(self):
        for answer, runs in ((b"2" + b"x" * 100000 + b"\n", True), (b" " * 100000 + b"2\n", True),
                             (b"0" * 99999 + b"2\n", True), (b"2" * 100000 + b"\n", False)):
            with self.subTest(answer[:4]), tempfile.TemporaryDirectory() as folder:
                write(folder, "t.tx", image(VALUES))
                result = run(["t.tx"], answer, cwd=folder)
                self.assertEqual(result.status, 0, result.stderr)
                self.assertEqual(snapshot(folder).get("t.txt"), listing(VALUES) if runs else None)

    def test_random_bytes_as_listing_and_as_table(self):
        rng = random.Random(5)
        alphabet = b"uv=0123456789ABCDEFabcdefxyz \r\n\0="
        with tempfile.TemporaryDirectory() as folder:
            for i in range(150):
                size = rng.choice([0, 1, 5, 12, 379, 380, 381, 1235, 4000, rng.randrange(70000)])
                if i % 2:
                    data = bytes(rng.choice(alphabet) for _ in range(size))
                else:
                    data = rng.randbytes(size)
                for answer, source, target in ((b"1\n", f"r{i}.txt", f"r{i}.tx"), (b"2\n", f"r{i}.tx", f"r{i}.txt")):
                    with self.subTest(i=i, answer=answer):
                        for name in (f"r{i}.txt", f"r{i}.tx"):
                            if os.path.exists(os.path.join(folder, name)):
                                os.remove(os.path.join(folder, name))
                        write(folder, source, data)
                        result = run([source], answer, cwd=folder)
                        self.assertIn(result.status, (0, 1), result.stderr)
                        produced = snapshot(folder).get(target)
                        if answer == b"1\n":
                            self.assertEqual(produced, listing_to_table(data))
                        elif len(data) < 380:
                            self.assertEqual((result.status, produced), (1, None))
                        else:
                            self.assertEqual(produced, listing(struct.unpack("<95I", data[:380])))


class NewTargets(unittest.TestCase):
    def test_permissions_are_the_inputs_less_the_umask(self):
        # A private input gives a private output.
        for mask, given, mode in ((0o022, 0o666, 0o644), (0o077, 0o666, 0o600), (0o002, 0o666, 0o664),
                                  (0o022, 0o600, 0o600), (0o000, 0o640, 0o640)):
            with self.subTest(oct(mask), given=oct(given)), tempfile.TemporaryDirectory() as folder:
                write(folder, "t.tx", image(VALUES))
                os.chmod(os.path.join(folder, "t.tx"), given)
                result = run(["t.tx"], b"2\n", cwd=folder, preexec_fn=lambda: os.umask(mask))
                self.assertEqual(result.status, 0, result.stderr)
                self.assertEqual(os.stat(os.path.join(folder, "t.txt")).st_mode & 0o777, mode)


    def test_a_batch_under_a_low_descriptor_limit(self):
        # Outputs wait open for their sync; they must never use up the
        # descriptors a process may have.
        with tempfile.TemporaryDirectory() as folder:
            names = [f"t{i}.tx" for i in range(60)]
            for name in names:
                write(folder, name, image(VALUES))
            result = run(["-2", *names], cwd=folder,
                         preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (24, 24)))
            self.assertEqual(result.status, 0, result.stderr)
            self.assertEqual(sum(name.endswith(".txt") for name in os.listdir(folder)), len(names))


@unittest.skipIf(SANITIZED or not shutil.which("unshare"), "needs unshare and a plain build")
class WithoutUnnamedFiles(unittest.TestCase):
    HIDE_PROC = ["unshare", "-m", "sh", "-c", 'mount -t tmpfs none /proc && exec "$0" "$@"', BINARY]

    def setUp(self):
        if subprocess.run(self.HIDE_PROC + ["--version"], capture_output=True).returncode != 0:
            self.skipTest("cannot hide /proc here (needs root)")

    def test_outputs_go_through_hidden_names_that_vanish(self):
        # With /proc hidden, new files cannot be made without a name: they are
        # written under a hidden one, then linked or renamed, and the hidden
        # name goes.
        hide_proc = self.HIDE_PROC
        with tempfile.TemporaryDirectory() as folder:
            tables = {f"{name}.tx": image([i] + VALUES[1:]) for i, name in enumerate("abc")}
            populate(folder, tables)
            expected = dict(tables, **{f"{name}.txt": listing([i] + VALUES[1:]) for i, name in enumerate("abc")})
            for options in (["-2"], ["-2", "--force"]):
                proc = subprocess.run(hide_proc + options + sorted(tables), cwd=folder, capture_output=True, timeout=30)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertEqual(snapshot(folder), expected)

    @unittest.skipIf(not shutil.which("strace"), "needs strace")
    def test_without_hard_links_the_hidden_name_is_renamed(self):
        # As on FAT, link() is refused: the hidden name is renamed to the
        # output's instead, still only where no file has that name.
        no_links = ["unshare", "-m", "sh", "-c", "mount -t tmpfs none /proc && exec strace -qq -o /dev/null "
                    '-e inject=link:error=EPERM "$0" "$@"', BINARY]
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"a.tx": image(VALUES)})
            proc = subprocess.run(no_links + ["-2", "a.tx"], cwd=folder, capture_output=True, timeout=30)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            self.assertEqual(snapshot(folder), {"a.tx": image(VALUES), "a.txt": listing(VALUES)})

    def test_a_signal_leaves_no_temporary(self):
        # a.txt is written under a hidden name while b.txt's lock is awaited;
        # SIGTERM then must take the hidden name away, and still end the run.
        with tempfile.TemporaryDirectory() as folder:
            populate(folder, {"a.tx": image(VALUES), "b.tx": image(VALUES), "b.txt": b"old"})
            holder = hold_lock(os.path.join(folder, "b.txt"), 20)
            try:
                proc = subprocess.Popen(self.HIDE_PROC + ["-2", "--append", "a.tx", "b.tx"], cwd=folder,
                                        stderr=subprocess.PIPE)
                self.assertIn(b"waiting for another program", proc.stderr.readline())
                self.assertTrue(any(name.startswith(".txconv-") for name in os.listdir(folder)))
                proc.send_signal(signal.SIGTERM)
                self.assertEqual(proc.wait(timeout=30), -signal.SIGTERM)
                proc.stderr.close()
            finally:
                holder.cancel()
                holder.function()
            self.assertEqual(snapshot(folder), {"a.tx": image(VALUES), "b.tx": image(VALUES), "b.txt": b"old"})


def strace(*args):
    return ["strace", "-qq", "-o", "/dev/null", *args, BINARY]


@unittest.skipIf(SANITIZED or not shutil.which("strace"), "needs strace and a plain build")
class SystemCallTiming(unittest.TestCase):
    def test_the_input_linked_in_at_the_output_name_meanwhile(self):
        # Held at its first read, after the first look at the output's name,
        # while big.tx becomes a second name of the input big.txt.
        with tempfile.TemporaryDirectory() as folder:
            write(folder, "big.txt", listing(VALUES))
            proc = subprocess.Popen(strace("-e", "trace=read", "-e", "inject=read:delay_enter=1500000:when=1") +
                                    ["--append", "-1", "big.txt"], cwd=folder, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE)
            time.sleep(0.5)
            os.link(os.path.join(folder, "big.txt"), os.path.join(folder, "big.tx"))
            _, err = proc.communicate(timeout=30)
            self.assertEqual(proc.returncode, 1, err)
            self.assertIn(b"txconv: big.tx: output would overwrite the input", err)
            self.assertEqual(snapshot(folder), {"big.txt": listing(VALUES), "big.tx": listing(VALUES)})

    def test_force_replaces_only_the_file_it_looked_at(self):
        # Held at its first read, after the first look at the output's name,
        # or at the swap itself, after the last look, while somebody else's
        # file takes the name: it is never replaced.
        theirs = b"SOMEONE ELSES WORK\n"
        rows = [  # (what, the target before, what happens meanwhile, status, the call held)
            ("the target swapped for another file", {"p.tx": b"old"}, "swap", 1, "read"),
            ("a file made where there was none", {}, "make", 1, "read"),
            ("the target left alone", {"p.tx": b"old"}, None, 0, "read"),
            ("the target swapped just before the swap", {"p.tx": b"old"}, "swap", 1, "renameat2"),
        ]
        for what, before, meanwhile, status, call in rows:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, {"p.txt": listing(VALUES), **before})
                proc = subprocess.Popen(strace("-e", f"trace={call}", "-e", f"inject={call}:delay_enter=1000000:when=1") +
                                        ["-1f", "p.txt"], cwd=folder, stderr=subprocess.PIPE)
                time.sleep(0.4)
                if meanwhile == "swap":
                    os.unlink(os.path.join(folder, "p.tx"))
                if meanwhile:
                    write(folder, "p.tx", theirs)
                _, err = proc.communicate(timeout=30)
                self.assertEqual(proc.returncode, status, err)
                after = {"p.txt": listing(VALUES), "p.tx": theirs if meanwhile else listing_to_table(listing(VALUES))}
                self.assertEqual(snapshot(folder), after)
                if meanwhile:
                    self.assertIn(b"txconv: p.tx: cannot be written: another file took its name", err)

    def test_a_batch_is_synced_before_it_is_named(self):
        # Outputs are written first and synced together (one syncfs), but
        # each is synced before it gets its name, and each folder that got
        # a name is synced after the last one.
        with tempfile.TemporaryDirectory() as folder:
            names = [f"t{i}.tx" for i in range(75)] + [f"sub/t{i}.tx" for i in range(75)]
            for name in names:
                write(folder, name, image(VALUES))
            traced = subprocess.run(["strace", "-qq", "-o", "/dev/stdout", "-e", "trace=openat,fsync,syncfs,linkat",
                                     BINARY, "-2", *names], cwd=folder, capture_output=True,
                                    timeout=60).stdout.decode()
            unnamed, synced, folders, named, folders_synced = set(), set(), {}, [], []
            for line in traced.splitlines():
                if m := re.match(r'openat\(AT_FDCWD, "([^"]*)".*\) = (\d+)$', line):
                    for fds in (unnamed, synced):
                        fds.discard(m[2])
                    folders.pop(m[2], None)
                    if "O_DIRECTORY" in line:
                        folders[m[2]] = m[1]
                    elif "O_TMPFILE" in line:
                        unnamed.add(m[2])
                elif m := re.match(r"fsync\((\d+)\) += 0", line):
                    if m[1] in folders:
                        folders_synced.append(folders[m[1]])
                    synced.add(m[1])
                elif re.match(r"syncfs\(\d+\) += 0", line):
                    synced |= unnamed
                elif m := re.match(r'linkat\(AT_FDCWD, "/proc/self/fd/(\d+)", AT_FDCWD, "([^"]+)".* = 0', line):
                    self.assertIn(m[1], synced, f"{m[2]} named before it was synced")
                    named.append(m[2])
                    folders_synced = []
            self.assertEqual(sorted(named), sorted(name + "t" for name in names), traced[-2000:])
            self.assertEqual(sorted(folders_synced), [".", "sub"], "a folder was not synced after its last name")

    # (what, arguments, answer, files before, each target's old bytes (None: absent), whether a hidden
    # temporary may stay: --force names its file before renaming it, and SIGKILL cannot be caught)
    KILL_ROWS = [
        ("menu, new target", ["p.txt"], b"1\n", {"p.txt": listing(VALUES)}, {"p.tx": None}, False),
        ("menu, target there", ["p.txt"], b"1\n", {"p.txt": listing(VALUES), "p.tx": b"old"}, {"p.tx": b"old"}, False),
        ("--force", ["-1f", "p.txt"], b"", {"p.txt": listing(VALUES), "p.tx": b"old"}, {"p.tx": b"old"}, True),
        ("--append", ["-1", "--append", "p.txt"], b"", {"p.txt": listing(VALUES), "p.tx": b"old"},
         {"p.tx": b"old"}, False),
        ("three files", ["-1", "a.txt", "b.txt", "c.txt"], b"",
         {"a.txt": listing(VALUES), "b.txt": listing(VALUES), "c.txt": listing(VALUES)},
         {"a.tx": None, "b.tx": None, "c.tx": None}, False),
    ]

    def test_a_kill_at_any_system_call(self):
        # SIGKILL at each system call in turn: each target keeps its old bytes
        # or gains one whole table (a replacement: is one), nothing else is
        # left behind, and the inputs never change.
        for what, args, answer, before, targets, may_leave_temporary in self.KILL_ROWS:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                populate(folder, before)
                traced = subprocess.run(["strace", "-qq", "-o", "/dev/stdout", BINARY, *args], input=answer,
                                        cwd=folder, capture_output=True, timeout=30).stdout.decode()
                calls = re.findall(r"^(\w+)\(", traced, re.M)
                self.assertGreater(len(calls), 10, traced)
                kills = 0
                for k, call in enumerate(calls):
                    for name in os.listdir(folder):
                        os.remove(os.path.join(folder, name))
                    populate(folder, before)
                    proc = subprocess.run(strace("-e", f"trace={call}",
                                                 "-e", f"inject={call}:signal=KILL:when={calls[:k + 1].count(call)}") +
                                          args, input=answer, cwd=folder, capture_output=True, timeout=30)
                    kills += proc.returncode != 0
                    after = snapshot(folder)
                    for name, old in targets.items():
                        whole = image(VALUES) if "f" in args[0][1:] else (old or b"") + image(VALUES)
                        self.assertIn(after.get(name), (old, whole), (k, call, name))
                    stray = set(after) - set(before) - set(targets)
                    if may_leave_temporary:
                        stray = {name for name in stray if not name.startswith(".txconv-")}
                    self.assertEqual(stray, set(), (k, call))
                    inputs = {name: content for name, content in before.items() if name not in targets}
                    self.assertEqual({name: after.get(name) for name in inputs}, inputs, (k, call))
                self.assertGreater(kills, len(calls) // 2)


class FilesThatAreNotFiles(unittest.TestCase):
    def test_folders_and_missing_files(self):
        rows = [  # (folders to make, files to write, argument, answer, failure notice)
            (["in.tx"], {}, "in.tx", b"2\n", OPEN_FAILED),
            (["in.txt"], {}, "in.txt", b"1\n", OPEN_FAILED),
            (["t.txt"], {"t.tx": image(VALUES)}, "t.tx", b"2\n", WRITE_FAILED),
            (["p.tx"], {"p.txt": listing(VALUES)}, "p.txt", b"1\n", WRITE_FAILED),
            ([], {}, "no/such/folder/p.txt", b"1\n", OPEN_FAILED),
        ]
        for folders, files, argument, answer, notice in rows:
            with self.subTest(argument), tempfile.TemporaryDirectory() as folder:
                for name in folders:
                    os.mkdir(os.path.join(folder, name))
                for name, content in files.items():
                    write(folder, name, content)
                result = run([argument], answer, cwd=folder)
                self.assertEqual(result.status, 1)
                self.assertIn(notice, result.stderr)
                self.assertEqual(snapshot(folder), files)


if __name__ == "__main__":
    unittest.main()
