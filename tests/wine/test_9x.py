"""9x family (Wine's Version set to win98): requests become "NUL=" lines with short paths at the
end of WININIT.INI's [rename] section, byte for byte; the "kdw" temporary copy is gone afterwards
and the registry is not touched. The next start carries the lines out."""

import glob
import os

from winetest import Checks, Session

s = Session()
c = Checks("9x")

s.run(["reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"])
c.equal("GetVersionExA reports the 9x family", 1, s.platform())

w9 = os.path.join(s.drive_c, "w9")
for name in ["a.txt", "b.txt", "Long File Name.txt", "dir/f1.txt", "dir/sub/f2.txt",
             "dir/Another Long Name.doc", "gone/g.txt", "gone/Long Gone Name.txt"]:
    os.makedirs(os.path.dirname(os.path.join(w9, name)), exist_ok=True)
    with open(os.path.join(w9, name), "wb") as f:
        f.write(name.encode())
os.makedirs(os.path.join(w9, "empty"))

wininit_win = s.windows_dir() + b"\\WININIT.INI"
wininit = s.unix(wininit_win)
temp = s.unix(s.temp_dir())
c.true("the folder for temporary files exists: " + temp, os.path.isdir(temp))


def new_entries(path):
    """The lines one request adds: its folder's contents in walk order, then the path itself,
    each as "NUL=" and the system's short form."""
    items = s.expected_walk(path) if os.path.isdir(s.unix(path)) else []
    lines = []
    for item in items + [path]:
        short = s.short_path(item)
        if short is None:
            raise RuntimeError("no short path for %r" % item)
        lines.append(b"NUL=" + short)
    return lines


A = b"C:\\w9\\a.txt"
B = b"C:\\w9\\b.txt"
LONG = b"C:\\w9\\Long File Name.txt"
DIR = b"C:\\w9\\dir"
EMPTY = b"C:\\w9\\empty"
N = "N"  # stands for the new entries of the case's requests, in request order
Na = ("N", 0)
Nb = ("N", 1)

H = b"[rename]"
E1 = b"NUL=C:\\OLD1.TXT"
E2 = b"C:\\NEW.TXT=C:\\OLD2.TXT"
K = b"[boot]"
X = b"shell=Explorer.exe"

# (what, WININIT.INI before (None: absent), requests, the lines expected after; N = new entries)
CASES = [
    ("no WININIT.INI: created", None, [A], [H, N]),
    ("an existing file of zero bytes", b"", [A], [H, N]),
    ("X K X H E E: the rename section last", b"; hand-made\r\n[boot]\r\nshell=x\r\n[rename]\r\n"
     + E1 + b"\r\n" + E2 + b"\r\n", [A], [b"; hand-made", K, b"shell=x", H, E1, E2, N]),
    ("H E K X: another section after it", H + b"\r\n" + E1 + b"\r\n" + K + b"\r\n" + X + b"\r\n",
     [A], [H, E1, N, K, X]),
    ("H E E with the last E empty", H + b"\r\n" + E1 + b"\r\n\r\n", [A], [H, E1, b"", N]),
    ("K X: no rename header", K + b"\r\n" + X + b"\r\n", [A], [K, X, H, N]),
    ("two rename sections apart: each gets the entries",
     H + b"\r\n" + E1 + b"\r\n" + K + b"\r\n" + X + b"\r\n" + H + b"\r\n" + E2 + b"\r\n",
     [A], [H, E1, N, K, X, H, E2, N]),
    ("H E H E: a header that ends a section opens none",
     H + b"\r\n" + E1 + b"\r\n" + H + b"\r\n" + E2 + b"\r\n", [A], [H, E1, N, H, E2]),
    ("H alone without a line end", H, [A], [H, N]),
    ("headers in other case keep their case", b"[Rename]\r\nnul=C:\\OLD\r\n[x]\r\n[RENAME]\r\n",
     [A], [b"[Rename]", b"nul=C:\\OLD", N, b"[x]", b"[RENAME]", N]),
    ("blanks around [rename] make no header",
     b" [rename]\r\n" + E1 + b"\r\n[rename] \r\n" + E2 + b"\r\n",
     [A], [b" [rename]", E1, b"[rename] ", E2, H, N]),
    ("a lone [ ends the section", H + b"\r\n" + E1 + b"\r\n[\r\n" + E2 + b"\r\n",
     [A], [H, E1, N, b"[", E2]),
    ("a [ after blanks does not end the section", H + b"\r\n  [boot]\r\n", [A],
     [H, b"  [boot]", N]),
    ("LF line ends and a last line without one", b"[boot]\nshell=x\n[rename]\n" + E1 + b"\n" + E2,
     [A], [K, b"shell=x", H, E1, E2, N]),
    ("a CR not before LF stays", H + b"\r\nkey=a\rb\r\nx\r\r\n", [A],
     [H, b"key=a\rb", b"x\r", N]),
    ("0x1A and NUL are carried over; text ends at NUL",
     b"[boot]\r\nend=\x1a\r\n[rename]\x00junk\r\nNUL=C:\\A\x00tail\r\n\x1a",
     [A], [K, b"end=\x1a", b"[rename]\x00junk", b"NUL=C:\\A\x00tail", b"\x1a", N]),
    ("a long name is written in its short form", H + b"\r\n", [LONG], [H, N]),
    ("an empty folder: its own entry only", H + b"\r\n" + K + b"\r\n", [EMPTY], [H, N, K]),
    ("a folder: contents deepest first, the folder last", None, [DIR], [H, N]),
    ("two paths: two requests, each at the end of the section",
     H + b"\r\n" + E1 + b"\r\n" + K + b"\r\n", [A, B], [H, E1, Na, Nb, K]),
]


def expected_bytes(lines, requests):
    entries = [new_entries(r) for r in requests]
    out = b""
    for line in lines:
        if line == N:
            chunk = [e for request in entries for e in request]
        elif isinstance(line, tuple):
            chunk = entries[line[1]]
        else:
            chunk = [line]
        out += b"".join(item + b"\r\n" for item in chunk)
    return out


def kdw_files():
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(temp, "*"))
                  if os.path.basename(p).lower().startswith("kdw"))


c.true("a folder request names its nested contents",
       len(new_entries(DIR)) == 5 and new_entries(DIR)[-1] == b"NUL=" + s.short_path(DIR))
c.true("the long name has a short form of its own", s.short_path(LONG) not in (None, LONG))

for what, before, requests, after in CASES:
    if os.path.lexists(wininit):
        os.remove(wininit)
    if before is not None:
        with open(wininit, "wb") as f:
            f.write(before)
    expected = expected_bytes(after, requests)
    verdict = s.launch(b"vornel.exe " + b" ".join(b'"%s"' % r for r in requests), cwd=b"C:\\")
    c.equal("%s: exit code" % what, "exit 0", verdict)
    with open(wininit, "rb") as f:
        actual = f.read()
    c.equal("%s: WININIT.INI" % what, expected, actual)
    c.equal("%s: no kdw file left in the temporary folder" % what, [], kdw_files())

c.equal("the registry value was not touched", None, s.pending_raw())

# The next start: files named in WININIT.INI are deleted, and the file is renamed WININIT.BAK.
os.remove(wininit)
gone = [b"C:\\w9\\gone\\g.txt", b"C:\\w9\\gone\\Long Gone Name.txt"]
c.equal("scheduling two files", "exit 0",
        s.launch(b"vornel.exe " + b" ".join(b'"%s"' % g for g in gone), cwd=b"C:\\"))
s.restart()
c.equal("after the restart the two files are gone", [False, False],
        [os.path.exists(s.unix(g)) for g in gone])
c.true("the rest of the folder is untouched",
       os.path.exists(os.path.join(w9, "a.txt")) and os.path.isdir(os.path.join(w9, "gone")))
c.true("WININIT.INI was carried out and renamed",
       not os.path.exists(wininit)
       and any(n.lower() == "wininit.bak" for n in os.listdir(os.path.dirname(wininit))))
c.finish()
