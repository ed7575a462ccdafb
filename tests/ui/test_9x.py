"""On the 9x family the dialog lists the deletion entries of WININIT.INI's rename sections, in
file order, and nothing from the registry."""

import os

from uitest import CODEPAGE, Checks, Session, close_dialog

# (line with its line end, listed text or None); the file is these lines in this order.
WININIT = [
    (b"; made by a setup program\r\n", None),
    (b"NUL=C:\\BEFORE.TXT\r\n", None),                  # before any rename section
    (b"[rename]\r\n", None),                            # first rename section
    ("NUL=C:\\表示\\ソフト.TXT\r\n".encode(CODEPAGE), "C:\\表示\\ソフト.TXT".encode(CODEPAGE)),
    (b"C:\\NEW.TXT=C:\\OLD.TXT\r\n", None),             # a rename, no deletion
    (b"nul=C:\\LOWER.TXT\n", b"C:\\LOWER.TXT"),         # lower case, LF alone
    (b" NUL=C:\\BLANK.TXT\r\n", None),
    (b"NUL =C:\\SPACE.TXT\r\n", None),
    (b"NUL=C:\\TRAIL.TXT  \r\n", b"C:\\TRAIL.TXT  "),
    (b"NUL=\r\n", b""),
    (b"NU\r\n", None),
    (b"[Other]\r\n", None),                             # another section
    (b"NUL=C:\\OTHER.TXT\r\n", None),
    (b"[RENAME]\n", None),                              # second rename section, other case
    (b"; \x1a does not end the file\r\n", None),
    (b"NUL=C:\\SECOND.TXT\r\n", b"C:\\SECOND.TXT"),
    (b"[rename]\r\n", None),                            # ends the section, opens none
    (b"NUL=C:\\SKIPPED.TXT\r\n", None),
    (b"[rename] \r\n", None),                           # no rename header
    (b"NUL=C:\\NOHEADER.TXT\r\n", None),
    (b"[rename]\r\n", None),                            # third rename section
    (b"NUL=C:\\CR\rIN.TXT\r\n", b"C:\\CR\rIN.TXT"),     # a CR not before LF is text
    (b"NUL=C:\\LAST.TXT", b"C:\\LAST.TXT"),             # no line end
]

c = Checks("ui.9x")
s = Session()
try:
    # A deletion in the NT family's store, which the 9x family does not look at.
    c.require("a deletion is recorded in the registry first", s.schedule("C:\\nt-store.txt") == 0)
    c.require("the registry holds it", s.pending_deletions() == [b"C:\\nt-store.txt"])

    c.equal("9x mode is set", 0,
            s.reg("add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"))
    c.require("the system reports the 9x family", s.platform() == 1)
    wininit = os.path.join(s.drive_c, "windows", "wininit.ini")
    with open(wininit, "wb") as f:
        f.write(b"".join(line for line, _ in WININIT))

    dialog = s.start_dialog()
    c.require("the dialog opens", s.wait_dialog())
    c.equal("the list shows the rename sections' deletion entries in file order",
            [text for _, text in WININIT if text is not None], s.items())
    close_dialog(s, c, dialog, "Escape", "key", "0x1b")
    with open(wininit, "rb") as f:
        c.true("WININIT.INI is only read", f.read() == b"".join(line for line, _ in WININIT))

    os.remove(wininit)
    dialog = s.start_dialog()
    c.require("the dialog opens without WININIT.INI", s.wait_dialog())
    c.equal("without WININIT.INI the list is empty", [], s.items())
    close_dialog(s, c, dialog, "WM_CLOSE", "close")
finally:
    s.close()
c.finish()
