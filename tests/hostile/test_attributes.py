"""Hidden, system and read-only files and folders, and Unix dot files (which Wine shows as
hidden), are recorded like any other entry. Wine's start-up refuses to delete a read-only file,
so those files are expected to stay; everything else recorded is gone."""

import os

from hostile import (DIRECTORY, HIDDEN, READONLY, SYSTEM, Checks, Session, Tree, make_files,
                     make_sentinels, run_nt)

s = Session()
c = Checks("attributes")

tree = Tree(s, os.path.join(s.work, "parent", "attrs"))
make_files(tree.unix, {
    "normal.txt": b"normal",
    "hidden.txt": b"hidden",
    "system.txt": b"system",
    "hidden-system.txt": b"hidden and system",
    "readonly.txt": b"read-only",
    "readonly-hidden.txt": b"read-only and hidden",
    ".dotfile": b"a Unix dot file",
    "hdir/in.txt": b"in a hidden folder",
    "sdir/in.txt": b"in a system folder",
    "hsdir/.inner": b"hidden in a hidden system folder",
    "rodir/in.txt": b"in a read-only folder",
})
make_sentinels(s, tree.unix)
wanted = {
    "hidden.txt": HIDDEN,
    "system.txt": SYSTEM,
    "hidden-system.txt": HIDDEN | SYSTEM,
    "readonly-hidden.txt": READONLY | HIDDEN,
    "hdir": HIDDEN,
    "sdir": SYSTEM,
    "hsdir": HIDDEN | SYSTEM,
}
for name, attributes in wanted.items():
    c.true("attributes set on " + name,
           s.set_attributes(tree.win + b"\\" + name.encode(), attributes))
os.chmod(os.path.join(tree.unix, "readonly.txt"), 0o444)
os.chmod(os.path.join(tree.unix, "rodir"), 0o555)
wanted.update({"readonly.txt": READONLY, ".dotfile": HIDDEN, "rodir": READONLY})

listed = {name.decode(): attrs for attrs, name in s.list_folder(tree.win)}
c.equal("the system reports the attributes",
        {name: bits for name, bits in wanted.items()},
        {name: listed.get(name, 0) & bits for name, bits in wanted.items()})
c.true("the folders are folders", all(listed[n] & DIRECTORY for n in ["hdir", "sdir", "hsdir",
                                                                       "rodir"]))

recorded = run_nt(s, c, [tree])
prefix = "\\??\\" + tree.win.decode() + "\\"
c.true("every entry is recorded, whatever its attributes",
       all(prefix + name in recorded for name in wanted))
c.true("the read-only files stay, the other files are gone",
       os.path.exists(os.path.join(tree.unix, "readonly.txt"))
       and not os.path.exists(os.path.join(tree.unix, "hidden.txt"))
       and not os.path.exists(os.path.join(tree.unix, "rodir")))
c.finish()
