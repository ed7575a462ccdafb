"""NT family: files and folders named on the command line are recorded in
PendingFileRenameOperations, each folder's contents deepest first and the folder last, and the
next start (wineboot -r) deletes them and nothing else."""

import os

from winetest import Checks, Session

s = Session()
c = Checks("nt")

root = os.path.join(s.drive_c, "nt")
files = {
    "keep.txt": b"keep\r\n",
    "file1.txt": b"one",
    "with space.txt": b"two",
    "tree/a.txt": b"a",
    "tree/.hidden": b"hidden",
    "tree/sub1/b.txt": b"b",
    "tree/sub1/deep/c.txt": b"c",
    "tree/sub2/d.txt": b"d",
    "tree/x y/e.txt": b"e",
    "rel/r1.txt": b"r1",
    "rel/rs/r2.txt": b"r2",
    "tree2/t.txt": b"t",
    "linked/l.txt": b"l",
    "outside/o.txt": b"outside",
    "outside/od/o2.txt": b"outside too",
}
folders = ["tree/sub1/deep/empty", "tree/empty"]
for name, data in files.items():
    os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
    with open(os.path.join(root, name), "wb") as f:
        f.write(data)
for name in folders:
    os.makedirs(os.path.join(root, name))
# A link to a folder outside the request: recorded as itself, never entered.
os.symlink("../outside", os.path.join(root, "linked", "link"))


def tree_snapshot():
    found = {}
    for top, dirs, names in os.walk(root):
        for name in dirs + names:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path) or os.path.isdir(path):
                found[rel] = None
            else:
                with open(path, "rb") as f:
                    found[rel] = f.read()
    return found


before = tree_snapshot()

cwd = b"C:\\nt"
args = [b"C:\\nt\\file1.txt", b'"C:\\nt\\with space.txt"', b"C:\\nt\\tree", b"rel",
        b"C:\\nt\\tree2\\", b"C:\\nt\\tree2", b"C:\\nt\\linked", b"C:\\nt\\missing.txt"]
c.equal("the template prefix has nothing pending", [], s.pending_deletions())
c.equal("ANSI code page", 1252, s.acp())

# What the program is to record, worked out from the system's own answers.
expected = []
for arg in args:
    path = arg.strip(b'"')
    full = s.full_path(cwd, path)
    if os.path.isdir(s.unix(full)):
        folder = full if len(full) <= 3 else full.rstrip(b"\\")
        expected.extend(s.expected_walk(folder))
    expected.append(full)
expected = ["\\??\\" + p.decode("cp1252") for p in expected]
c.true("the expected list reaches into nested folders",
       "\\??\\C:\\nt\\tree\\sub1\\deep\\c.txt" in expected and len(expected) > 20, str(expected))

verdict = s.launch(b"vornel.exe " + b" ".join(args), cwd=cwd)
c.equal("exit code", "exit 0", verdict)
recorded = s.pending_deletions()
print("recorded:\n  " + "\n  ".join(recorded))
c.equal("recorded deletions, in order", expected, recorded)
c.true("the link is recorded but not entered",
       "\\??\\C:\\nt\\linked\\link" in recorded
       and not any("outside" in p or "link\\" in p for p in recorded), str(recorded))

s.restart()
c.equal("nothing pending after the restart", [], s.pending_deletions())

after = tree_snapshot()
scheduled = set()
for p in recorded:
    unix = s.unix(p[4:].encode("cp1252"))
    scheduled.add(os.path.relpath(unix, root))
# Wine cannot remove a symbolic link at start-up, so the link and its folder may stay.
maybe_left = {"linked", os.path.join("linked", "link")}
expected_left = {k: v for k, v in before.items() if k not in scheduled}
actual_left = {k: v for k, v in after.items() if k not in maybe_left}
c.equal("what is left after the restart, with its contents",
        sorted(expected_left.items()), sorted(actual_left.items()))
c.true("files outside the requests are untouched",
       after.get("keep.txt") == b"keep\r\n" and after.get("outside/o.txt") == b"outside"
       and after.get("outside/od/o2.txt") == b"outside too")
c.finish()
