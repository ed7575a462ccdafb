"""The 9x family (Wine's Version set to win98): a hostile tree becomes "NUL=" lines with short
paths in WININIT.INI, every one inside the tree, in walk order and the folder last. Wine carries
out NUL= lines for files only, so after the next start the recorded files are gone and the
folders stay."""

import os

from hostile import Before, Checks, Session, Tree, expected_walk, make_files, make_sentinels

s = Session()
c = Checks("9x")
c.true("GetVersionExA reports the 9x family", s.set_nine_x())

tree = Tree(s, os.path.join(s.work, "parent", "nine"))
make_files(tree.unix, {
    ".hidden": b"hidden", "..x": b"dot dot x", "...": b"three dots",
    "a.": b"trailing dot", "a": b"a", "b ": b"trailing blank",
    "Long File Name.txt": b"long", "c /f": b"in c-blank", ".. /f": b"in dot-dot-blank",
    "n" * 255: b"255 characters", "sub/x.txt": b"x", "readonly.txt": b"read-only",
}, ["empty"])
os.chmod(os.path.join(tree.unix, "readonly.txt"), 0o444)
level = tree.unix
while len(s.win(level)) < 330:
    level = os.path.join(level, "level" + "x" * 30)
    make_files(level, {"f.txt": b"f"})
make_sentinels(s, tree.unix)
wininit = s.wininit()
c.true("no WININIT.INI yet", not os.path.exists(wininit))

before = Before(s, [tree], folders_too=False)
expected = expected_walk(s, tree.win, tree.unix)
shorts = [s.short_path(e.win) for e in expected] + [s.short_path(tree.win)]
c.true("every entry has a short form", None not in shorts)
wanted = b"[rename]\r\n" + b"".join(b"NUL=" + p + b"\r\n" for p in shorts)

c.equal("exit code", 0, s.schedule(tree.win))
with open(wininit, "rb") as f:
    written = f.read()
c.equal("WININIT.INI, byte for byte", wanted.split(b"\r\n"), written.split(b"\r\n"))
top = shorts[-1]
entries = [line[4:] for line in written.split(b"\r\n")[1:] if line]
c.equal("every entry is inside the tree", [],
        [p for p in entries if p != top and not p.startswith(top + b"\\")])
c.equal("the registry value is not touched", [], s.pending_deletions())

before.plan([expected])
s.restart()
c.true("WININIT.INI was carried out", not os.path.exists(wininit))
before.check(c)
print("figures: %d NUL= lines" % len(entries))
c.finish()
