#!/usr/bin/env python3
"""Helpers of tests/filesystems.sh.

  filesystems.py texts DIR        writes the inputs of the conversion cases to
                                  DIR, each NAME.txt with NAME.ref beside it,
                                  what its conversion must give
  filesystems.py kill DIR CMD...  runs CMD and kills it by SIGKILL as soon as
                                  a file it has open in DIR, other than a .txt,
                                  holds a MiB: its output, half written. Exits
                                  0 when the kill came in time, 3 when CMD
                                  ended first.

The reference is written from the rotation rule alone, not from rotfile's
code: the text ends at the first Ctrl-Z, each CR LF pair becomes LF, and
every byte from 32 to 125 moves 47 places within that window.
"""
import os
import random
import signal
import subprocess
import sys

CHUNK = 256 * 1024  # the reading chunk of cipher/text_cipher.h (kChunkSize)
ROTATION = bytes(c + 47 if 32 <= c <= 78 else c - 47 if 79 <= c <= 125 else c for c in range(256))


def reference(data):
    return data.split(b"\x1a", 1)[0].replace(b"\r\n", b"\n").translate(ROTATION)


def text(size, line_end, rng):
    """size bytes of lines of every byte but Ctrl-Z and LF, ended by
    line_end. Across a chunk's edge, CR LF texts have a CR LF pair and LF
    texts a lone CR, which the reader holds back until it sees what follows."""
    body = bytes(rng.choice([b for b in range(256) if b not in (10, 26)]) for _ in range(64))
    lines = bytearray()
    while len(lines) < size:
        start = rng.randrange(64)
        lines += body[start:] + body[:start][: rng.randrange(64)] + line_end
    lines = lines[:size]
    if size > CHUNK:
        lines[CHUNK - 1 : CHUNK + 1] = b"\r\n" if line_end == b"\r\n" else b"\rq"
    return bytes(lines)


def write_texts(folder):
    rng = random.Random(32)
    sizes = {"0": 0, "1": 1, "chunk": CHUNK + 5, "mib": 3 * 1024 * 1024 + 7}
    for ending, line_end in (("lf", b"\n"), ("crlf", b"\r\n")):
        for size_name, size in sizes.items():
            data = b"\r" if (size, ending) == (1, "crlf") else text(size, line_end, rng)
            stem = os.path.join(folder, f"{ending}-{size_name}")
            with open(stem + ".txt", "wb") as f:
                f.write(data)
            with open(stem + ".ref", "wb") as f:
                f.write(reference(data))


def kill_mid_write(folder, command):
    folder = os.path.realpath(folder)
    child = subprocess.Popen(command)
    fds = f"/proc/{child.pid}/fd"
    while child.poll() is None:
        try:
            fd_paths = [os.path.join(fds, fd) for fd in os.listdir(fds)]
            written = [os.stat(p).st_size for p in fd_paths
                       if os.readlink(p).startswith(folder + "/") and not os.readlink(p).endswith(".txt")]
        except OSError:
            continue
        if any(size >= 1024 * 1024 for size in written):
            child.send_signal(signal.SIGKILL)
            child.wait()
            return 0
    return 3


if __name__ == "__main__":
    if sys.argv[1] == "texts":
        write_texts(sys.argv[2])
    else:
        sys.exit(kill_mid_write(sys.argv[2], sys.argv[3:]))
