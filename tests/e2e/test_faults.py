"""What txconv does when the files, the system or the input misbehave."""

import os
import random
import resource
import signal
import struct
import subprocess
import tempfile
import unittest

from harness import BINARY, OPEN_FAILED, WRITE_FAILED, image, listing, populate, run, snapshot

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
    """For preexec_fn: no file may grow past limit bytes, and trying only fails."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
    return apply


def write(folder, name, content):
    populate(folder, {name: content})


class WriteFailsHalfWay(unittest.TestCase):
    # (input name, its content, answer, target, what the target held before)
    ROWS = [
        ("p.txt", listing(VALUES), b"1\n", "p.tx", b"\x01" * 1000),
        ("p.txt", listing(VALUES), b"1\n", "p.tx", b""),
        ("t.tx", image(VALUES), b"2\n", "t.txt", b"old line\r\n" * 50),
        ("t.tx", image(VALUES), b"2\n", "t.txt", b""),
    ]

    def test_target_is_left_as_it_was(self):
        for source, content, answer, target, old in self.ROWS:
            with self.subTest(target=target, old=len(old)), tempfile.TemporaryDirectory() as folder:
                write(folder, source, content)
                write(folder, target, old)
                result = run([source], answer, cwd=folder, preexec_fn=limit_file_size(len(old) + 100))
                self.assertEqual(result.status, 1, result.stderr)
                self.assertIn(f"txconv: {target}: ", result.stderr)
                self.assertIn(WRITE_FAILED, result.stderr)
                self.assertEqual(snapshot(folder), {source: content, target: old})

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
