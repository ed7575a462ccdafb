"""The command line, handed over byte for byte with CreateProcessA: where the program name ends,
how the rest splits into paths (the recorded deletions show the split), and when the dialog opens
instead. The exit code is 0 in every case."""

import os
import subprocess
import time

from winetest import TITLE, Checks, Session

s = Session()
c = Checks("cmdline")

cwd = b"C:\\cl"
folder = os.path.join(s.drive_c, "cl")
os.makedirs(folder)
for name in ["x", "y", "z", "x y"]:
    with open(os.path.join(folder, name), "wb") as f:
        f.write(name.encode())

NAME = b"vornel.exe "

# (what the case is, the whole command line, the paths the program is to hand on in order)
PATH_CASES = [
    ("x blank y", NAME + b"x y", [b"x", b"y"]),
    ("blanks between and after", NAME + b"x  y  ", [b"x", b"y"]),
    ("quoted path with a blank, then z", NAME + b'"x y" z', [b"x y", b"z"]),
    ("z right after the closing quote", NAME + b'"x y"z', [b"x y", b"z"]),
    ("two quoted paths back to back", NAME + b'"x""y"', [b"x", b"y"]),
    ("quote without its partner runs to the end", NAME + b'"x y', [b"x y"]),
    ("two quotes: the empty path", NAME + b'""', [b""]),
    ("x, then a lone quote: x and the empty path", NAME + b'x "', [b"x", b""]),
    ("quotes inside unquoted paths are ordinary", NAME + b'x"y z"', [b'x"y', b'z"']),
    ("a tab belongs to the path", NAME + b"x\ty", [b"x\ty"]),
    ("the same path twice is handled twice", NAME + b"x x", [b"x", b"x"]),
    ("quoted program name directly followed by x", b'"' + s.exe_win + b'"x', [b"x"]),
    ("quoted program name, blank, quoted path", b'"' + s.exe_win + b'" "x y"', [b"x y"]),
    ("unquoted program name with bytes above 0x7F", b"v\xf6rn\xe9l.exe y", [b"y"]),
    ("quoted program name with bytes above 0x7F", b'"C:\\d\xe9j\xe0 vu\\v.exe" z', [b"z"]),
    ("tabs and control characters after the name", NAME[:-1] + b"\t\x01\x1f x", [b"x"]),
    ("leading tab removed, a later tab kept", NAME[:-1] + b"\tx\ty z", [b"x\ty", b"z"]),
    ("command line beginning with a blank: empty name", b" x y", [b"x", b"y"]),
]

# Command lines whose argument string is empty or blank: the dialog opens.
DIALOG_CASES = [
    ("only blanks and tabs after the name", NAME + b" \t \t"),
    ("the program name alone", b'"' + s.exe_win + b'"'),
    ("a quoted name without its closing quote swallows the rest", b'"vornel.exe x y'),
]


def expected_records(paths):
    # MoveFileExA records "\??\" and the full path; a path without one (empty) records nothing.
    records = []
    for path in paths:
        full = s.full_path(cwd, path)
        if full is not None:
            records.append("\\??\\" + full.decode("cp1252"))
    return records


c.equal("ANSI code page", 1252, s.acp())
c.equal("the empty path has no full path, so the system records nothing for it",
        None, s.full_path(cwd, b""))

for what, cmdline, paths in PATH_CASES:
    s.clear_pending()
    verdict = s.launch(cmdline, cwd=cwd, timeout_ms=15000)
    c.equal("%s: %r exits with 0 and opens no window" % (what, cmdline), "exit 0", verdict)
    c.equal("%s: recorded" % what, expected_records(paths), s.pending_deletions())


def visible_window(title, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if found.returncode == 0 and found.stdout.strip():
            return True
        time.sleep(0.2)
    return False


for what, cmdline in DIALOG_CASES:
    s.clear_pending()
    launched = s.launch_async(cmdline, cwd=cwd, timeout_ms=60000)
    shown = visible_window(TITLE, 30)
    c.true("%s: %r shows the window \"%s\"" % (what, cmdline, TITLE), shown)
    closed = s.probe("close", TITLE.encode(), "10000", check=False)
    c.equal("%s: the dialog takes WM_CLOSE" % what, "closed", closed)
    c.equal("%s: exit code after the dialog" % what, "exit 0", s.wait_launched(launched, 90))
    c.equal("%s: nothing recorded" % what, [], s.pending_deletions())

c.finish()
