"""What the UI tests share: the session that lib.sh set up, the running dialog as the probe
sees it, and the checks.

Texts the program shows are compared as bytes in the ANSI code page (932 in the Japanese locale),
the form in which the program adds them to its list.
"""

import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "wine"))
import winetest  # noqa: E402
from winetest import TITLE  # noqa: E402

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


class Session(winetest.Session):
    """The system questions go to the UI probe too, which answers them as the Wine tests' probe."""

    def __init__(self):
        super().__init__()
        self.probe_exe = os.path.join(os.environ["VORNEL_BUILD"], "tests", "ui", "programs",
                                      "probe.exe")
        if not os.path.isfile(self.probe_exe):
            raise RuntimeError("%s is missing: build the Windows presets first" % self.probe_exe)
        self.dialogs = []

    # The program.

    def schedule(self, *paths):
        """vornel.exe with these paths as its arguments: records them; returns the exit code."""
        return self.call([self.exe] + list(paths))[0]

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
        for line in self.probe("measure", TITLE, self.exe_win.decode("latin-1"), str(index),
                               str(width_units), str(height_units)).splitlines():
            name, *values = line.split()
            out[name] = values
        return out

    # The system.

    def reg(self, *args):
        return self.call(["reg"] + list(args))[0]

    def pending_deletions(self):
        """The sources of PendingFileRenameOperations less "\\??\\", as ANSI bytes."""
        return [s[4:].encode(CODEPAGE) if s.startswith("\\??\\") else s.encode(CODEPAGE)
                for s in super().pending_deletions()]

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


class Checks(winetest.Checks):
    def __init__(self, name):
        super().__init__(name, CODEPAGE)


def close_dialog(s, c, dialog, how, *what):
    """Ends the dialog by one of the user's ways and checks that it goes with exit code 0."""
    c.true("%s is delivered" % how, s.post(*what))
    c.true("%s closes the dialog" % how, s.wait_gone())
    c.equal("exit code after %s" % how, 0, dialog.exit_code())
