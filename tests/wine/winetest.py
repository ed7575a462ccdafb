"""What the Wine tests share, and the ui and hostile-tree layers with them: the programs of the
session that lib.sh set up, and the checks.

Windows strings are handled as bytes in the ANSI code page wherever the program sees them as
such; the registry value is read raw (UTF-16) so nothing is lost on the way.
"""

import os
import subprocess
import sys
import tempfile

TITLE = "Vornel for Win32 Version 1.00"
SESSION_MANAGER_VALUE = "PendingFileRenameOperations"


class Session:
    timeout = 60

    def __init__(self):
        self.wine = os.environ["WINE"]
        self.prefix = os.environ["WINEPREFIX"]
        self.exe = os.environ["VORNEL_EXE"]
        self.probe_exe = os.environ["VORNEL_PROBE"]
        self.launch_exe = os.environ["VORNEL_LAUNCH"]
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self._exe_win = None

    @property
    def exe_win(self):
        if self._exe_win is None:
            self._exe_win = self.winpath(self.exe)
        return self._exe_win

    # Running programs in the session.

    def call(self, args, timeout=None):
        """(exit code, output, error output) of a program run under Wine."""
        # Files, not pipes: a process that Wine starts on the side may hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([self.wine] + list(args), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=timeout or self.timeout)
            out.seek(0)
            err.seek(0)
            return (result.returncode, out.read().decode("latin-1").replace("\r", ""),
                    err.read().decode("latin-1"))

    def run(self, args, timeout=None, check=True):
        code, text, errors = self.call(args, timeout)
        if check and code != 0:
            raise RuntimeError("%s failed (%d): %s %s" % (args, code, text, errors))
        return text

    def probe(self, *args, check=True):
        return self.run([self.probe_exe] + [a if isinstance(a, str) else a.hex() for a in args],
                        check=check).strip()

    def launch(self, cmdline, cwd=None, timeout_ms=20000):
        """Starts vornel.exe with exactly these command-line bytes; returns the launcher's verdict,
        "exit N", "timeout" or "failed E"."""
        return self.run([self.launch_exe, self.exe_win.hex(), cmdline.hex(),
                         cwd.hex() if cwd else "-", str(timeout_ms)],
                        timeout=timeout_ms / 1000 + 30, check=False).strip()

    def launch_async(self, cmdline, cwd=None, timeout_ms=20000):
        """Like launch, in the background; finish it with wait_launched."""
        out = tempfile.TemporaryFile()
        process = subprocess.Popen([self.wine, self.launch_exe, self.exe_win.hex(), cmdline.hex(),
                                    cwd.hex() if cwd else "-", str(timeout_ms)],
                                   stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.DEVNULL)
        return process, out

    @staticmethod
    def wait_launched(launched, timeout):
        process, out = launched
        process.wait(timeout=timeout)
        out.seek(0)
        text = out.read().decode("latin-1").replace("\r", "").strip()
        out.close()
        return text

    def restart(self):
        """What the next start of the computer does: carries out pending operations."""
        self.run(["wineboot", "-r"], timeout=120)

    # Questions to the system.

    def winpath(self, unix_path):
        return self.run(["winepath", "-w", unix_path]).strip().encode("latin-1")

    def acp(self):
        return int(self.probe("acp"))

    def platform(self):
        return int(self.probe("platform"))

    def pending_raw(self):
        """(type, bytes) of PendingFileRenameOperations, or None when it is absent."""
        out = self.probe("pending")
        if out == "absent":
            return None
        words = out.split()
        if len(words) < 2 or words[0] != "type":
            raise RuntimeError("probe pending: " + out)
        return int(words[1]), bytes.fromhex(words[2] if len(words) > 2 else "")

    def pending_strings(self):
        """The value's data split at every NUL."""
        raw = self.pending_raw()
        if raw is None:
            return []
        kind, data = raw
        if kind != 7:
            raise RuntimeError("PendingFileRenameOperations has type %d" % kind)
        return data.decode("utf-16-le").split("\0")

    def pending_deletions(self):
        """The sources of the value's pairs, checking that every pair is a deletion."""
        strings = self.pending_strings()
        if not strings:
            return []
        # source NUL "" NUL ... then the closing NUL: split gives [s1, "", s2, "", ..., "", ""]
        if len(strings) % 2 != 0 or strings[-2:] != ["", ""]:
            raise RuntimeError("malformed value: %r" % strings)
        pairs = strings[:-2]
        sources = pairs[0::2]
        destinations = pairs[1::2]
        if any(destinations):
            raise RuntimeError("value holds renames: %r" % strings)
        return sources

    def clear_pending(self):
        self.probe("clear")

    def list_folder(self, folder):
        """The folder's entries as FindFirstFileA/FindNextFileA give them, "." and ".." included:
        (attributes, name bytes)."""
        entries = []
        for line in self.probe("list", folder).splitlines():
            attributes, _, name = line.partition(" ")
            if attributes == "none":
                return []
            entries.append((int(attributes, 16), bytes.fromhex(name)))
        return entries

    def short_path(self, path):
        result, _, value = self.probe("short", path).partition(" ")
        return bytes.fromhex(value) if 0 < int(result) < 260 else None

    def full_path(self, cwd, path):
        result, _, value = self.probe("full", cwd, path).partition(" ")
        return bytes.fromhex(value) if 0 < int(result) < 260 else None

    def windows_dir(self):
        return bytes.fromhex(self.probe("windir").partition(" ")[2])

    def temp_dir(self):
        return bytes.fromhex(self.probe("temp").partition(" ")[2])

    def unix(self, win_path, codepage="cp1252"):
        """The Linux path of a C:\\ path inside the prefix."""
        text = win_path.decode(codepage)
        if not text[:3].upper() == "C:\\":
            raise ValueError("not on drive C: %r" % text)
        return os.path.join(self.drive_c, *[p for p in text[3:].split("\\") if p])

    def expected_walk(self, folder):
        """The folder's contents as the program is to list them: the system's order within a
        folder, every subfolder's contents before the subfolder, full paths; folders that are
        reparse points (links) are listed but not entered."""
        result = []
        for attributes, name in self.list_folder(folder):
            if name in (b".", b".."):
                continue
            # Only a drive root ends in a separator; a last byte 0x5C may be half of a
            # double-byte character.
            full = folder + (b"" if is_drive_root(folder) else b"\\") + name
            if attributes & 0x10 and not attributes & 0x400:
                result.extend(self.expected_walk(full))
            result.append(full)
        return result


def is_drive_root(path):
    return len(path) == 3 and path[1:] == b":\\"


class Checks:
    """Named checks, each printed as it is made; finish() ends the test, failed if any check failed
    or none was made. Bytes are shown decoded in codepage where they decode."""

    def __init__(self, name, codepage=None):
        self.name = name
        self.codepage = codepage
        self.failures = 0
        self.count = 0
        self.known = 0

    def _report(self, what, passed, detail_lines):
        self.count += 1
        if passed:
            print("ok   %s" % what)
            return True
        self.failures += 1
        print("FAIL %s" % what)
        for line in detail_lines:
            print("     " + line)
        return False

    def equal(self, what, expected, actual):
        lines = ["expected: %s" % show(expected, self.codepage),
                 "actual:   %s" % show(actual, self.codepage)]
        if isinstance(expected, list) and isinstance(actual, list) and expected != actual:
            have, want = set(actual), set(expected)
            missing = [v for v in expected if v not in have]
            extra = [v for v in actual if v not in want]
            lines += ["missing:  %s" % show(missing, self.codepage),
                      "extra:    %s" % show(extra, self.codepage)]
            if not missing and not extra:
                lines.append("the same items in another order or number")
        return self._report(what, expected == actual, lines)

    def true(self, what, condition, detail=""):
        return self._report(what, condition, [detail] if detail else [])

    def require(self, what, condition, detail=""):
        """A check without which the rest of the test means nothing."""
        if not self.true(what, condition, detail):
            self.finish()

    def known_fault(self, fault, what, condition, detail=""):
        """A check that fails because of a known program fault: reported as XFAIL and not counted
        as a failure. Once the fault is fixed it passes, which fails the test (XPASS) until the
        mark is taken away."""
        self.count += 1
        if condition:
            self.failures += 1
            print("XPASS %s (%s is fixed: make this an ordinary check)" % (what, fault))
            return True
        self.known += 1
        print("XFAIL %s (%s)%s" % (what, fault, (": " + detail) if detail else ""))
        return False

    def finish(self):
        known = ", %d known faults" % self.known if self.known else ""
        print("%s: %d checks, %d failed%s" % (self.name, self.count, self.failures, known))
        sys.stdout.flush()
        sys.exit(1 if self.failures or not self.count else 0)


def show(value, codepage=None):
    if isinstance(value, list):
        if not value:
            return "[]"
        if len(value) > 40:
            return "[%d items: %s ... %s]" % (len(value), show(value[:20], codepage),
                                              show(value[-10:], codepage))
        return "[\n" + "".join("               %s\n" % show(v, codepage) for v in value) + \
            "           ]"
    if isinstance(value, bytes):
        try:
            if codepage:
                return repr(value.decode(codepage))
        except UnicodeDecodeError:
            pass
        return repr(value)[1:]
    return repr(value)
