"""Symbolic links to folders (ln -s): outside the tree, to the tree's parent, to the tree itself,
and a dangling one. A link is recorded as itself and never entered, also when it is named
directly; nothing outside the tree is recorded, and after the next start the outside folder and
all its files still exist. Wine cannot remove a symbolic link at start-up, so the links stay."""

import os

from hostile import REPARSE_POINT, Checks, Session, Tree, make_files, make_sentinels, run_nt

s = Session()
c = Checks("links")

outside = os.path.join(s.work, "outside")
make_files(outside, {"o.txt": b"outside", "od/o2.txt": b"outside, one deeper"}, ["empty"])
tree = Tree(s, os.path.join(s.work, "parent", "linked"))
make_files(tree.unix, {"plain.txt": b"plain", "dir/f.txt": b"f"})
make_sentinels(s, tree.unix)
links = {
    "out": "../../outside",          # relative, outside the tree
    "abs": outside,                  # absolute, outside the tree
    "up": "..",                      # the tree's parent
    "self": ".",                     # the tree itself: a cycle
    "dir/back": "../dir",            # a cycle one level down
    "dangling": "/nonexistent-vornel-target",
}
for name, target in links.items():
    os.symlink(target, os.path.join(tree.unix, name))

listed = {n.decode(): a for a, n in s.list_folder(tree.win)}
c.true("Wine shows the folder links as reparse points",
       all(listed.get(n, 0) & REPARSE_POINT for n in ["out", "abs", "up", "self"]), str(listed))

direct = tree.win + b"\\out"
recorded = run_nt(s, c, [tree], singles=[direct])
prefix = "\\??\\" + tree.win.decode() + "\\"
c.true("each folder link is recorded as itself",
       all(prefix + n in recorded for n in ["out", "abs", "up", "self", "dir\\back"]))
c.true("no link is entered",
       not any(p.startswith(prefix + n + "\\") for p in recorded
               for n in ["out", "abs", "up", "self", "dir\\back"]))
c.equal("the link named directly is recorded alone, last", "\\??\\" + direct.decode(), recorded[-1])
c.true("the outside folder and all its files still exist",
       os.path.isfile(os.path.join(outside, "o.txt"))
       and os.path.isfile(os.path.join(outside, "od", "o2.txt"))
       and os.path.isdir(os.path.join(outside, "empty")))
c.finish()
