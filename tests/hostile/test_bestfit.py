"""Names that the ANSI code page cannot hold and renders by a look-alike: a name holding "＼"
(U+FF3C, code page 1252) or "¥" (U+00A5, code page 932) comes out of FindFirstFileA with a real
backslash. Next to a link "a" that leads outside the tree, a folder named "a＼b" then reads as
"a\\b", a path through the link, which the walk must never enter or record."""

import os

from hostile import (Before, Checks, Session, Tree, expected_walk, inside, make_files,
                     make_sentinels)

s = Session()
c = Checks("bestfit")

separator = {1252: "\uff3c", 932: "\u00a5"}.get(s.codepage)
c.true("a look-alike of the backslash is known for code page %d" % s.codepage,
       separator is not None)
if separator is None:
    c.finish()

outside = os.path.join(s.work, "outside")
make_files(outside, {"b/p1": b"precious", "b/p2": b"precious too", "c": b"precious file"})
tree = Tree(s, os.path.join(s.work, "parent", "bestfit"))
make_files(tree.unix, {"plain.txt": b"plain", "a" + separator + "c": b"a look-alike file"},
           ["a" + separator + "b"])
os.symlink("../../outside", os.path.join(tree.unix, "a"))
make_sentinels(s, tree.unix)

names = [n for _, n in s.list_folder(tree.win)]
c.true("the system renders the look-alike as a backslash", b"a\\b" in names and b"a\\c" in names,
       str(names))

before = Before(s, [tree])
expected = expected_walk(s, tree.win, tree.unix)
wanted = ["\\??\\" + e.win.decode(s.cp) for e in expected] + ["\\??\\" + tree.win.decode(s.cp)]
c.equal("exit code", 0, s.schedule(tree.win))
recorded = s.pending_deletions()
print("recorded:\n  " + "\n  ".join(recorded))
top = tree.win.decode(s.cp)
c.true("every recorded path reads as a path inside the tree",
       all(p.startswith("\\??\\") and inside(p[4:], top) for p in recorded))
c.true("the plain file and the link are recorded",
       "\\??\\" + top + "\\plain.txt" in recorded and "\\??\\" + top + "\\a" in recorded)
through = [p for p in recorded if p.startswith("\\??\\" + top + "\\a\\")]
c.true("nothing is recorded through the link", not through, str(through))
c.true("recorded deletions, in order", wanted == recorded)

before.plan([expected])
s.restart()
c.equal("nothing pending after the restart", [], s.pending_deletions())
c.true("the plain file is gone", not os.path.exists(os.path.join(tree.unix, "plain.txt")))
intact = (os.path.isfile(os.path.join(outside, "b", "p1")) and
          os.path.isfile(os.path.join(outside, "b", "p2")) and
          os.path.isfile(os.path.join(outside, "c")))
c.true("the files outside the tree still exist", intact)
c.finish()
