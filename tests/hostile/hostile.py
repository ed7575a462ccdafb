"""What the hostile-tree tests share: the Wine session that lib.sh set up, trees built on the
Linux side, and the model of what one request is to record and what the next start then removes.

Trees live under WINE_SESSION_DIR/work and are named through Z:\\ (the Linux root), or through a
drive letter of their own. Windows names are bytes in the ANSI code page wherever the program sees
them as such; the registry value is read raw (UTF-16), so nothing is lost on the way."""

import hashlib
import os
import stat
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine"))
import winetest  # noqa: E402
from winetest import is_drive_root, show  # noqa: E402
from winetest import Checks  # noqa: E402,F401 (the tests take it from here)

MAX_PATH = 260
READONLY, HIDDEN, SYSTEM, DIRECTORY, REPARSE_POINT = 0x1, 0x2, 0x4, 0x10, 0x400


class Session(winetest.Session):
    timeout = 120

    def __init__(self):
        super().__init__()
        self.work = os.path.join(os.environ["WINE_SESSION_DIR"], "work")
        # Fixed by the session's locale: asked once.
        self.codepage = self.acp()
        self.cp = "cp%d" % self.codepage

    def schedule(self, path, timeout=100):
        """Runs the program with one path; Wine hands the argument over in the ANSI code page."""
        return self.call([self.exe, path.decode(self.cp)], timeout)[0]

    def restart(self):
        """What the next start of the computer does: carries out pending operations."""
        code, text, _ = self.call(["wineboot", "-r"], timeout=300)
        if code != 0:
            # Wine's loader now and then fails to start wineboot at all ("Application could not
            # be started"); a second start carries out whatever the first did not.
            print("note: wineboot -r failed (%d): %s; trying once more" % (code, text.strip()))
            code, text, _ = self.call(["wineboot", "-r"], timeout=300)
        if code != 0:
            raise RuntimeError("wineboot -r failed (%d): %s" % (code, text))

    def set_nine_x(self):
        code = self.call(["reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98",
                          "/f"])[0]
        return code == 0 and self.platform() == 1

    def win(self, unix_path):
        """The Z:\\ name of a Linux path, in the ANSI code page."""
        return ("Z:" + unix_path.replace("/", "\\")).encode(self.cp)

    def set_attributes(self, path, attributes):
        return self.probe("setattr", path, "%x" % attributes) == "ok"

    def wininit(self):
        """The Linux path of WININIT.INI in the Windows folder, however its name is cased."""
        folder = self.unix(self.windows_dir(), self.cp)
        for name in os.listdir(folder):
            if name.upper() == "WININIT.INI":
                return os.path.join(folder, name)
        return os.path.join(folder, "WININIT.INI")


class Tree:
    """A folder to request, with its Linux path and the Windows path it is requested by."""

    def __init__(self, session, unix, win=None):
        self.unix = unix
        self.win = win if win is not None else session.win(unix)


class Entry:
    def __init__(self, win, unix):
        self.win = win
        self.unix = unix


def join(folder, name):
    # Only a drive root ends in a separator.
    return folder + name if is_drive_root(folder) else folder + b"\\" + name


def normalised(name):
    """True for a name that the Windows path rules would turn into another path when it is
    joined to a folder: they strip trailing dots and blanks from a path's last element ("a.",
    "b ", "...", ".. ", ". "). A name holding a separator cannot be a real name: the system
    handed over a stand-in for some other character."""
    return name[-1:] in (".", " ") or "\\" in name or "/" in name


def expected_walk(session, folder, unix_folder):
    """What the program is to record for the folder's contents, worked out from the system's
    listing and the Linux names: the system's order, each subfolder's contents before it; links
    listed but not entered; nothing whose full path does not fit MAX_PATH (terminator included),
    nothing whose name the path rules would change, nothing whose ANSI name is no faithful
    rendering of its real name."""
    try:
        real = os.listdir(unix_folder)
    except OSError:
        return []
    by_ansi = {}
    for name in real:
        try:
            by_ansi[name.encode(session.cp)] = name
        except UnicodeEncodeError:
            pass
    entries = []
    for attributes, name in session.list_folder(folder):
        if name in (b".", b".."):
            continue
        real_name = by_ansi.get(name)
        if real_name is None or normalised(real_name):
            continue
        full = join(folder, name)
        if len(full) >= MAX_PATH:
            continue
        unix = os.path.join(unix_folder, real_name)
        if attributes & DIRECTORY and not attributes & REPARSE_POINT:
            entries.extend(expected_walk(session, full, unix))
        entries.append(Entry(full, unix))
    return entries


def snapshot(top, exclude=()):
    """Every entry below top, links not followed: relative path -> kind, and for a file its size
    and digest, for a link its target."""
    found = {}
    excluded = {os.path.abspath(e) for e in exclude}
    for folder, dirs, files in os.walk(top):
        for name in list(dirs):
            if os.path.abspath(os.path.join(folder, name)) in excluded:
                dirs.remove(name)
        for name in dirs + files:
            path = os.path.join(folder, name)
            if os.path.abspath(path) in excluded:
                continue
            rel = os.path.relpath(path, top)
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                found[rel] = ("link", os.readlink(path))
            elif stat.S_ISDIR(info.st_mode):
                found[rel] = ("folder",)
            else:
                try:
                    with open(path, "rb") as f:
                        digest = hashlib.sha1(f.read()).hexdigest()
                except OSError:
                    digest = "unreadable"
                found[rel] = ("file", info.st_size, digest)
    return found


def wine_removes(unix, folders_too=True):
    """Whether Wine's start-up can remove this recorded item once it is empty. It cannot remove a
    symbolic link, and it refuses a file without write permission (read-only); its WININIT.INI
    processing deletes files only."""
    info = os.lstat(unix)
    if stat.S_ISLNK(info.st_mode):
        return False
    if stat.S_ISDIR(info.st_mode):
        return folders_too
    return bool(info.st_mode & 0o222)


def left_after_restart(tree, before, recorded, folders_too=True):
    """The tree's entries that are to be left after the next start: what was not recorded, what
    Wine cannot remove, and every folder above either."""
    recorded_rel = {os.path.relpath(e.unix, tree.unix) for e in recorded
                    if wine_removes(e.unix, folders_too)}
    left = {rel for rel in before if rel not in recorded_rel}
    for rel in list(left):
        parent = os.path.dirname(rel)
        while parent:
            left.add(parent)
            parent = os.path.dirname(parent)
    return {rel: before[rel] for rel in left}


def inside(path, top):
    top_with_separator = top if top.endswith("\\") else top + "\\"
    return path == top or path.startswith(top_with_separator)


def run_nt(session, checks, trees, singles=(), lock=None, unlock=None, timeout=100):
    """One request per tree on the NT family, then one for each of the single paths (items inside
    the trees that are no folders); checks the registry value, then restarts and checks what is
    left inside and outside the trees. Returns the recorded strings."""
    before = Before(session, trees)
    if lock:
        lock()
    expected = [expected_walk(session, t.win, t.unix) for t in trees]
    wanted = []
    for tree, entries in zip(trees, expected):
        wanted += ["\\??\\" + e.win.decode(session.cp) for e in entries]
        wanted.append("\\??\\" + tree.win.decode(session.cp))
    wanted += ["\\??\\" + single.decode(session.cp) for single in singles]
    checks.equal("the template prefix has nothing pending", [], session.pending_deletions())

    for path in [t.win for t in trees] + list(singles):
        checks.equal("exit code for %s" % show(path), 0, session.schedule(path, timeout))
    recorded = session.pending_deletions()
    print("figures: %d deletions recorded" % len(recorded))
    checks.equal("recorded deletions, in order", wanted, recorded)
    tops = [t.win.decode(session.cp) for t in trees]
    strays = [p for p in recorded
              if not p.startswith("\\??\\") or not any(inside(p[4:], top) for top in tops)]
    checks.equal("every recorded path is inside a requested tree", [], strays)

    before.plan(expected)
    session.restart()
    if unlock:
        unlock()
    checks.equal("nothing pending after the restart", [], session.pending_deletions())
    before.check(checks)
    return recorded


class Before:
    """The trees and their surroundings as they were, and what the next start is to leave."""

    def __init__(self, session, trees, folders_too=True):
        self.session = session
        self.trees = trees
        self.folders_too = folders_too
        self.outside = snapshot(session.work, exclude=[t.unix for t in trees])
        self.insides = [snapshot(t.unix) for t in trees]
        self.left = None

    def plan(self, expected):
        """Works out what is to be left, from the entries that are to be recorded; to be called
        while the trees are still as they were built."""
        self.left = []
        for tree, before, entries in zip(self.trees, self.insides, expected):
            left = left_after_restart(tree, before, entries, self.folders_too)
            top_left = bool(left) or not wine_removes(tree.unix, self.folders_too)
            self.left.append((left, top_left))

    def check(self, checks):
        for tree, inside_before, (left, top_left) in zip(self.trees, self.insides, self.left):
            name = os.path.basename(tree.unix)
            after = snapshot(tree.unix) if os.path.isdir(tree.unix) else {}
            print("figures: tree %s: %d entries below it, %d left after the restart"
                  % (name, len(inside_before), len(after)))
            checks.equal("what is left of %s, with its contents" % name, sorted(left.items()),
                         sorted(after.items()))
            checks.equal("%s itself is left" % name, top_left, os.path.lexists(tree.unix))
        checks.equal("everything outside the trees is untouched, sizes and contents",
                     sorted(self.outside.items()),
                     sorted(snapshot(self.session.work,
                                     exclude=[t.unix for t in self.trees]).items()))


def make_files(top, files, folders=()):
    """Files (relative path -> bytes) and empty folders below top."""
    for name in folders:
        os.makedirs(os.path.join(top, name), exist_ok=True)
    for name, data in files.items():
        path = os.path.join(top, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def make_sentinels(session, tree_unix):
    """Things next to the tree and in its parent that no request may touch: a sibling whose name
    begins with the tree's name, a file in the parent, a file one level higher."""
    parent = os.path.dirname(tree_unix)
    name = os.path.basename(tree_unix)
    make_files(parent, {
        name + "-sibling/keep.txt": b"sibling\r\n",
        name + "-sibling/sub/keep2.txt": b"sibling too",
        name + ".txt": b"a file named like the tree",
        "keep-parent.txt": b"parent",
    })
    make_files(session.work, {"keep-work.txt": b"work"})
