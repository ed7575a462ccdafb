"""Folders that cannot be entered or listed, and a file nobody may read. Run without root's
permission override (lib.sh session --no-override), so that permission bits stop the program as they
stop an ordinary user: such a folder is recorded without its contents, and its contents survive
the next start, as does everything outside."""

import os

from hostile import Checks, Session, Tree, make_files, make_sentinels, run_nt

s = Session()
c = Checks("unreadable")

tree = Tree(s, os.path.join(s.work, "parent", "locked"))
make_files(tree.unix, {
    "top.txt": b"top",
    "open/o.txt": b"open",
    "closed/c.txt": b"closed",          # mode 000: neither listed nor entered
    "closed/sub/c2.txt": b"closed too",
    "listonly/l.txt": b"names only",    # mode 444: names readable, entries not
    "passonly/p.txt": b"pass only",     # mode 111: can be passed through, not listed
    "secret.txt": b"nobody may read this",
})
make_sentinels(s, tree.unix)
modes = {"closed": 0o000, "listonly": 0o444, "passonly": 0o111, "secret.txt": 0o000}


def lock():
    for name, mode in modes.items():
        os.chmod(os.path.join(tree.unix, name), mode)


def unlock():
    for name in modes:
        path = os.path.join(tree.unix, name)
        if os.path.lexists(path):
            os.chmod(path, 0o755 if os.path.isdir(path) else 0o644)


lock()
try:
    os.listdir(os.path.join(tree.unix, "closed"))
    override = True
except PermissionError:
    override = False
unlock()
c.true("the permission bits stop this session (no root override)", not override)

recorded = run_nt(s, c, [tree], lock=lock, unlock=unlock)
prefix = "\\??\\" + tree.win.decode() + "\\"
c.true("the locked folders are recorded themselves",
       all(prefix + n in recorded for n in ["closed", "listonly", "passonly", "secret.txt"]))
c.true("nothing inside them is recorded",
       not any(p.startswith(prefix + n + "\\") for p in recorded
               for n in ["closed", "listonly", "passonly"]))
c.finish()
