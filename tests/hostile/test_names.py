"""Names that begin with dots, a name of three dots, names that the Windows path rules would turn
into other paths (trailing dots and blanks, ".. ", ". "), and names of 255 characters: in a
folder on Z:\\, and at the root of a drive of their own, where a 255-character name still fits
MAX_PATH. Nothing may be recorded as some other path, least of all the tree or its parent."""

import os

from hostile import Checks, Session, Tree, make_files, make_sentinels, run_nt

s = Session()
c = Checks("names")

LONG = 255
names = Tree(s, os.path.join(s.work, "parent", "names"))
make_files(names.unix, {
    ".hidden": b"hidden",
    "..x": b"dot dot x",
    "...": b"three dots",             # the path rules make it the folder itself
    "a.": b"trailing dot", "a": b"a",  # "a." would name the file a
    "b ": b"trailing blank", "b": b"b",
    "sub/.. ": b"dot dot blank",      # would name the folder above
    "normal.txt": b"normal",
    "n" * LONG: b"255 characters: too long for a full path here",
    ".hdir/f": b"in a dot folder",
    "c /f": b"in c-blank", "c/g": b"in c",   # "c " would be entered as c
    "d./f": b"in d-dot", "d/g": b"in d",
    ".. /f": b"in dot-dot-blank",             # would be entered as the parent
    ". /f": b"in dot-blank",                  # would be entered as the folder itself
    "sub/.../f": b"in three dots",            # would be entered as sub itself
    "sub/keep": b"sub",
    "y" * LONG + "/f": b"in a 255-character folder",
})
make_sentinels(s, names.unix)

# A drive of its own: T:\ followed by 255 characters is 258 characters of path.
root = Tree(s, os.path.join(s.work, "parent", "root255"), b"T:\\")
make_files(root.unix, {
    "n" * LONG: b"255-character file",
    "d" * LONG + "/f": b"inside a 255-character folder: no room for the path",
    "m" * 254: b"254-character file",
    # Its file's path fits, but the folder's search pattern (its path and "\\*.*") does not fit
    # the ANSI calls' limit, so the system lists nothing there.
    "k" * 254 + "/a": b"T:\\ + 254 + \\a is 259 characters",
    "p" * 253 + "/ab": b"T:\\ + 253 + \\ab is 259 characters",
    "p" * 253 + "/abc": b"one character too long",
}, ["e" * LONG])
drive = os.path.join(s.prefix, "dosdevices", "t:")
c.true("drive T: is free in the prefix", not os.path.lexists(drive))
os.symlink(root.unix, drive)

recorded = run_nt(s, c, [names, root])

top = "\\??\\" + names.win.decode()
prefix = top + "\\"
c.true("names beginning with dots are recorded",
       all(prefix + n in recorded for n in [".hidden", "..x", ".hdir", ".hdir\\f"]))
c.equal("the tree is recorded once, after its contents", [top],
        [p for p in recorded if p == top or p.rstrip("\\") == top])
c.true("the real a, b, c and d are recorded once each",
       all(recorded.count(prefix + n) == 1 for n in ["a", "b", "c", "c\\g", "d", "d\\g"]))
c.true("the parent is never recorded",
       not any(p.rstrip("\\") == top.rsplit("\\", 1)[0] for p in recorded))
c.true("the 255-character names at the drive root are recorded",
       all("\\??\\T:\\" + n in recorded for n in ["n" * LONG, "d" * LONG, "e" * LONG,
                                                  "p" * 253 + "\\ab"]))
c.finish()
