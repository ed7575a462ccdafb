"""What the UI tests share: the session that session.sh set up, the running dialog as the probe
sees it, and the checks.

Texts the program shows are compared as bytes in the ANSI code page (932 in the Japanese locale),
the form in which the program adds them to its list.
"""

import os
import subprocess
import sys
import tempfile
import time

TITLE = "Vornel for Win32 Version 1.00"
HERE = os.path.dirname(os.path.abspath(__file__))
CODEPAGE = "cp932"


class Dialog:
    """One run of vornel.exe without arguments, in the background."""

    def __init__(self, session):
        self.session = session
        self.out = tempfile.TemporaryFile()
        self.process = subprocess.Popen([session.wine, session.exe], stdin=subprocess.DEVNULL,
                                        stdout=self.out, stderr=subprocess.STDOUT)

    def exit_code(self, timeout=30):
        """The process's exit code, or None if it is still running after the timeout."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Session:
    def __init__(self):
        self.wine = os.environ["WINE"]
        self.build = os.environ["VORNEL_BUILD"]
        self.prefix = os.environ["WINEPREFIX"]
        self.exe = os.path.join(self.build, "vornel.exe")
        self.probe_exe = os.path.join(self.build, "tests", "ui", "programs", "probe.exe")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.dialogs = []

    def run(self, args, timeout=60, check=True):
        # Files, not pipes: a process that Wine starts on the side may keep a pipe open.
        with tempfile.TemporaryFile() as out:
            result = subprocess.run([self.wine] + list(args), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            text = out.read().decode("latin-1").replace("\r", "")
        if check and result.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (args, result.returncode, text))
        return result.returncode, text

    def probe(self, *args, check=True):
        return self.run([self.probe_exe] + list(args), check=check)[1].strip()

    # The program.

    def schedule(self, *paths):
        """vornel.exe with these paths as its arguments: records them; returns the exit code."""
        return self.run([self.exe] + list(paths), check=False)[0]

    def start_dialog(self):
        dialog = Dialog(self)
        self.dialogs.append(dialog)
        return dialog

    def wait_dialog(self, ms=30000):
        return self.probe("wait", TITLE, str(ms), check=False) == "found"

    def wait_gone(self, ms=10000):
        return self.probe("gone", TITLE, str(ms)) == "gone"

    def post(self, *what):
        return self.probe("post", TITLE, *what, check=False) == "posted"

    def items(self):
        """The list box's entries in list order, as ANSI bytes; None if the dialog is not there."""
        out = self.probe("items", TITLE, check=False).splitlines()
        if not out or not out[0].startswith("count "):
            return None
        items = []
        for line in out[1:]:
            kind, _, value = line.partition(" ")
            if kind != "item":
                raise RuntimeError("probe items: %s" % line)
            items.append(bytes.fromhex(value))
        if len(items) != int(out[0].split()[1]):
            raise RuntimeError("probe items: %r" % out)
        return items

    def items_when(self, condition, timeout=15):
        """Polls the list until condition(items) holds; returns the last items read."""
        deadline = time.monotonic() + timeout
        while True:
            items = self.items()
            if items is not None and condition(items):
                return items
            if time.monotonic() >= deadline:
                return items
            time.sleep(0.1)

    def geometry(self):
        rects = {}
        for line in self.probe("geometry", TITLE).splitlines():
            name, *values = line.split()
            rects[name] = tuple(int(v) for v in values)
        return rects

    def controls(self):
        """The dialog's children in creation order: (id, class, text bytes)."""
        result = []
        for line in self.probe("controls", TITLE).splitlines():
            ident, name, *text = line.split(" ")
            result.append((int(ident), name, bytes.fromhex(text[0] if text else "")))
        return result

    def measure(self, index, width_units, height_units):
        out = {}
        for line in self.probe("measure", TITLE, self.winpath(self.exe), str(index),
                               str(width_units), str(height_units)).splitlines():
            name, *values = line.split()
            out[name] = values
        return out

    # The system.

    def winpath(self, unix_path):
        return self.run(["winepath", "-w", unix_path])[1].strip()

    def acp(self):
        return int(self.probe("acp"))

    def platform(self):
        return int(self.probe("platform"))

    def reg(self, *args):
        return self.run(["reg"] + list(args), check=False)[0]

    def pending_deletions(self):
        """The sources of PendingFileRenameOperations less "\\??\\", as ANSI bytes; the value is
        read raw (UTF-16) and must hold only deletions."""
        out = self.probe("pending")
        if out == "absent":
            return []
        words = out.split()
        if len(words) < 2 or words[:2] != ["type", "7"]:
            raise RuntimeError("PendingFileRenameOperations: %s" % out)
        strings = bytes.fromhex(words[2] if len(words) > 2 else "").decode("utf-16-le").split("\0")
        if len(strings) % 2 != 0 or strings[-2:] != ["", ""] or any(strings[1:-2:2]):
            raise RuntimeError("PendingFileRenameOperations is no list of deletions: %r" % strings)
        sources = strings[:-2:2]
        return [s[4:].encode(CODEPAGE) if s.startswith("\\??\\") else s.encode(CODEPAGE)
                for s in sources]

    def list_folder(self, folder):
        """(attributes, name) of the folder's entries in the system's order, "." and ".." left out."""
        entries = []
        for line in self.probe("list", folder.hex()).splitlines():
            attributes, _, name = line.partition(" ")
            name = bytes.fromhex(name)
            if name not in (b".", b".."):
                entries.append((int(attributes, 16), name))
        return entries

    def expected_walk(self, folder):
        """A folder's contents as the program records them: the system's order within a folder,
        every subfolder's contents before it, full paths."""
        result = []
        for attributes, name in self.list_folder(folder):
            full = folder + b"\\" + name
            if attributes & 0x10 and not attributes & 0x400:
                result.extend(self.expected_walk(full))
            result.append(full)
        return result

    def close(self):
        for dialog in self.dialogs:
            dialog.kill()


def make_tree(root, tree):
    """Creates files and folders below root: a dict of name -> dict (a folder) or bytes."""
    os.makedirs(root, exist_ok=True)
    for name, content in tree.items():
        path = os.path.join(root, name)
        if isinstance(content, dict):
            make_tree(path, content)
        else:
            with open(path, "wb") as f:
                f.write(content)


def show(value):
    if isinstance(value, list):
        return "[" + ", ".join(show(v) for v in value) + "]"
    if isinstance(value, bytes):
        try:
            return repr(value.decode(CODEPAGE))
        except UnicodeDecodeError:
            return repr(value)
    return repr(value)


class Checks:
    def __init__(self, name):
        self.name = name
        self.failures = 0

    def equal(self, what, expected, actual):
        if expected == actual:
            print("ok   %s" % what)
            return True
        self.failures += 1
        print("FAIL %s" % what)
        print("     expected: %s" % show(expected))
        print("     actual:   %s" % show(actual))
        return False

    def true(self, what, condition, detail=""):
        if condition:
            print("ok   %s" % what)
            return True
        self.failures += 1
        print("FAIL %s%s" % (what, (": " + detail) if detail else ""))
        return False

    def require(self, what, condition, detail=""):
        """A check without which the rest of the test means nothing."""
        if not self.true(what, condition, detail):
            self.finish()

    def finish(self):
        print("%s: %s" % (self.name, "%d failure(s)" % self.failures if self.failures else "passed"))
        sys.stdout.flush()
        sys.exit(1 if self.failures else 0)


def close_dialog(s, c, dialog, how, *what):
    """Ends the dialog by one of the user's ways and checks that it goes with exit code 0."""
    c.true("%s is delivered" % how, s.post(*what))
    c.true("%s closes the dialog" % how, s.wait_gone())
    c.equal("exit code after %s" % how, 0, dialog.exit_code())
