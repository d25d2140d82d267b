#!/usr/bin/env python3
"""Replay host byte recordings in xterm and in rellum-replay and diff the pages.

Each recording is shown in a real xterm on a virtual X server; xterm prints
its screen through its printer command and reports the cursor, and the same
bytes go through rellum-replay. A unified diff of page text and cursor is
printed for every recording whose two screens differ.

  compare.py [options] RECORDING...
  compare.py [options] --list FILE

A RECORDING is a file of host bytes, or several joined by '+' which are fed
in that order (e.g. split-1.bytes+split-2.bytes). A list file has one
recording a line: "COLS ROWS FILE [FILE...]" with paths relative to the list
file; '#' starts a comment, and a comment "# differs: WHY" marks a known
difference (shown with its diff; --new leaves those out). Exits 1 when any
recording differs, 2 on errors.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DEFAULT_REPLAY = os.path.join(ROOT, "build", "release", "tools", "rellum-replay", "rellum-replay")

# Runs inside xterm: feeds the recording, asks where the cursor is (and
# whether origin mode and margins make that answer relative), then prints
# the screen through the printer command.
HELPER = r'''
import os, re, select, sys, termios, time, tty
recordings, cursor_path = sys.argv[1:-1], sys.argv[-1]
fd_in, fd_out = 0, 1
tty.setraw(fd_in)
attrs = termios.tcgetattr(fd_out)
attrs[1] &= ~termios.OPOST
termios.tcsetattr(fd_out, termios.TCSANOW, attrs)

def write(data):
    while data:
        data = data[os.write(fd_out, data):]

def read_until(pattern, timeout):
    got, deadline = b"", time.time() + timeout
    while time.time() < deadline:
        if select.select([fd_in], [], [], 0.05)[0]:
            got += os.read(fd_in, 4096)
            m = re.search(pattern, got, re.S) if pattern else None
            if m:
                return m
        elif pattern is None and got:
            break
    return None if pattern else got

for path in recordings:
    with open(path, "rb") as f:
        write(f.read())
# Drop answers to any queries in the recording.
time.sleep(0.2)
read_until(None, 0.3)
write(b"\033[?6$p\033P$qr\033\\\033P$qs\033\\\033[6n")
m = read_until(rb"\033\[\?6;(\d)\$y.*?\033P(\d)\$r(?:(\d+);(\d+))?r\033\\.*?"
               rb"\033P(\d)\$r(?:(\d+);(\d+))?s\033\\.*?\033\[(\d+);(\d+)R", 3.0)
if m:
    origin = m.group(1) == b"1"
    top = int(m.group(3)) if m.group(2) == b"1" and m.group(3) else 1
    left = int(m.group(6)) if m.group(5) == b"1" and m.group(6) else 1
    right = int(m.group(7)) if m.group(5) == b"1" and m.group(7) else 0
    row, col = int(m.group(8)), int(m.group(9))
    if origin:
        row += top - 1
        col += left - 1
    text = "%d %d %d\n" % (col - 1, row - 1, right - 1)
else:
    text = "unknown\n"
with open(cursor_path, "w") as f:
    f.write(text)
# Print the whole page, not just the scrolling region.
write(b"\033[?19h\033[i")
time.sleep(0.7)
'''


class Recording:
    def __init__(self, files, cols, rows, name=None, note=""):
        self.files = files
        self.note = note
        self.cols = cols
        self.rows = rows
        self.name = name or "+".join(os.path.relpath(f) for f in files)


def parse_list(path, recordings):
    base = os.path.dirname(os.path.abspath(path))
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line, _, comment = line.partition("#")
            line = line.split()
            comment = comment.strip()
            note = comment[len("differs:"):].strip() if comment.startswith("differs:") else ""
            if not line:
                continue
            if len(line) < 3 or not line[0].isdigit() or not line[1].isdigit():
                raise SystemExit("%s:%d: expected COLS ROWS FILE..." % (path, number))
            files = [os.path.join(base, name) for name in line[2:]]
            recordings.append(Recording(files, int(line[0]), int(line[1]), note=note))


def normalise(lines, rows):
    # xterm prints U+FFFF for the right half of a double-width character, and
    # the blank of the line-drawing set as a space where we hold U+00A0.
    lines = [line.replace("\uffff", "").replace("\u00a0", " ").rstrip(" ") for line in lines]
    lines = (lines + [""] * rows)[:rows]
    return lines


class XServer:
    def __init__(self):
        self.proc = None
        self.display = os.environ.get("XTERM_COMPARE_DISPLAY")
        if self.display:
            return
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1200x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise SystemExit("compare.py: Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()


def run_xterm(args, display, work, recording, index):
    out = os.path.join(work, "screen-%d.txt" % index)
    cursor = os.path.join(work, "cursor-%d.txt" % index)
    helper = os.path.join(work, "helper.py")
    env = dict(os.environ, DISPLAY=display, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    command = [args.xterm, "-geometry", "%dx%d" % (recording.cols, recording.rows), "-u8",
               "-xrm", "XTerm*printerCommand: cat > '%s'" % out,
               "-xrm", "XTerm*printAttributes: 0",
               "-xrm", "XTerm*allowWindowOps: false",
               "-xrm", "XTerm*precompose: false"]
    if args.font:
        command += ["-fa", args.font, "-fs", "10"]
    command += ["-e", sys.executable, helper] + [os.path.abspath(f) for f in recording.files] + [cursor]
    subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=args.timeout)
    try:
        with open(out, encoding="utf-8", errors="replace") as f:
            text = f.read()
        with open(cursor) as f:
            where = f.read().strip()
    except OSError as error:
        raise RuntimeError("xterm produced no screen for %s: %s" % (recording.name, error))
    lines = normalise(text.split("\n"), recording.rows)
    fields = where.split()
    right = int(fields[2]) if len(fields) == 3 else -1
    return lines + ["cursor: " + " ".join(fields[:2])], right


def run_ours(args, recording, right, theirs_cursor):
    result = subprocess.run(
        [args.replay, "--cols", str(recording.cols), "--rows", str(recording.rows)] + recording.files,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=args.timeout)
    if result.returncode not in (0,):
        raise RuntimeError("rellum-replay failed on %s: %s" % (recording.name, result.stderr.decode().strip()))
    lines = result.stdout.decode("utf-8", errors="replace").split("\n")
    cursor = next((l for l in lines if l.startswith("cursor: ")), "cursor: unknown")
    page = normalise([l for l in lines if not l.startswith("cursor: ")], recording.rows)
    # xterm cannot report a pending wrap: it answers with the column the
    # cursor sits on, so a cursor just past the last column counts as on it.
    # Likewise just past a right margin, when xterm puts the cursor on that
    # margin (known from its reply; -1 when it has none).
    m = re.match(r"cursor: (\d+) (\d+)$", cursor)
    if m and int(m.group(1)) >= recording.cols:
        cursor = "cursor: %d %s" % (recording.cols - 1, m.group(2))
    elif (m and 0 <= right < recording.cols - 1 and int(m.group(1)) == right + 1
          and theirs_cursor == "cursor: %d %s" % (right, m.group(2))):
        cursor = "cursor: %d %s" % (right, m.group(2))
    return page + [cursor]


def main():
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("recordings", nargs="*", help="byte files; join files fed in order with '+'")
    parser.add_argument("--list", action="append", default=[], help="file of 'COLS ROWS FILE...' lines")
    parser.add_argument("--cols", type=int, default=80)
    parser.add_argument("--rows", type=int, default=24)
    parser.add_argument("--replay", default=DEFAULT_REPLAY, help="rellum-replay binary")
    parser.add_argument("--xterm", default=shutil.which("xterm") or "xterm")
    parser.add_argument("--font", help="xterm -fa font (the text dump should not depend on it)")
    parser.add_argument("--jobs", type=int, default=min(8, os.cpu_count() or 1))
    parser.add_argument("--timeout", type=float, default=30.0)
    parser.add_argument("-q", "--quiet", action="store_true", help="print only the names that differ")
    parser.add_argument("--new", action="store_true",
                        help="leave out recordings whose list line notes '# differs: WHY'")
    args = parser.parse_args()

    recordings = [Recording(joined.split("+"), args.cols, args.rows) for joined in args.recordings]
    for path in args.list:
        parse_list(path, recordings)
    if args.new:
        recordings = [r for r in recordings if not r.note]
    if not recordings:
        parser.error("no recordings given")
    for recording in recordings:
        for path in recording.files:
            if not os.path.isfile(path):
                parser.error("cannot read %s" % path)
    if not os.access(args.replay, os.X_OK):
        parser.error("%s is not built (cmake --build --preset release --target rellum-replay)" % args.replay)

    import difflib
    server = XServer()
    work = tempfile.mkdtemp(prefix="xterm-compare-")
    with open(os.path.join(work, "helper.py"), "w") as f:
        f.write(HELPER)
    lock = threading.Lock()
    status = 0
    try:
        def compare(item):
            index, recording = item
            try:
                theirs, right = run_xterm(args, server.display, work, recording, index)
                ours = run_ours(args, recording, right, theirs[-1])
            except (RuntimeError, subprocess.TimeoutExpired) as error:
                return recording, None, str(error)
            return recording, theirs, ours

        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            for recording, theirs, ours in pool.map(compare, enumerate(recordings)):
                if theirs is None:
                    print("compare.py: %s" % ours, file=sys.stderr)
                    status = 2
                    continue
                if theirs == ours:
                    continue
                status = max(status, 1)
                with lock:
                    if args.quiet:
                        print(recording.name)
                        continue
                    diff = difflib.unified_diff(
                        theirs, ours, "xterm/%s" % recording.name, "rellum/%s" % recording.name,
                        n=2, lineterm="")
                    print("=== %s (%dx%d)" % (recording.name, recording.cols, recording.rows))
                    if recording.note:
                        print("known difference: " + recording.note)
                    for line in diff:
                        print(line)
    finally:
        server.stop()
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
