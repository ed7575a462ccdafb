"""Each of the user's ways to end the dialog ends it with exit code 0; messages that are no way
to end it leave it open."""

import subprocess

from uitest import TITLE, Checks, Session, close_dialog

c = Checks("ui.close")
s = Session()

# What reaches the dialog's message loop when the user ends it: keys typed into the list (the
# dialog manager turns Escape into IDCANCEL and Enter into IDOK), the close box's command and
# the close message that Alt+F4 and the close box both lead to.
WAYS = [
    ("Escape", "key", "0x1b"),
    ("Enter", "key", "0x0d"),
    ("the close box (SC_CLOSE)", "sysclose"),
    ("WM_CLOSE", "close"),
    ("IDCANCEL", "command", "2"),
    ("IDOK", "command", "1"),
]

# Neither a command the dialog does not know nor a key the list box takes for itself ends it.
NOT_CLOSING = [("command", "0"), ("command", "1000"), ("key", "0x28"), ("key", "0x20")]

try:
    # Something to select in the list, which tells when posted messages have been handled.
    c.require("four deletions are recorded", s.schedule(*["C:\\gone%d.txt" % i
                                                          for i in range(4)]) == 0)
    for how, *what in WAYS:
        dialog = s.start_dialog()
        c.require("the dialog opens (for %s)" % how, s.wait_dialog())
        for message in NOT_CLOSING:
            s.post(*message)
        c.true("the dialog is still open after %s" % ", ".join(" ".join(m) for m in NOT_CLOSING),
               s.probe("sync", TITLE, "10000", check=False) == "synced" and
               dialog.exit_code(timeout=0) is None)
        close_dialog(s, c, dialog, how, *what)

    # A real key press from the X server, where Wine gives the dialog the keyboard focus.
    dialog = s.start_dialog()
    c.require("the dialog opens (for a typed Escape)", s.wait_dialog())
    window = subprocess.run(["xdotool", "search", "--name", "^%s$" % TITLE.replace(".", "\\.")],
                            stdout=subprocess.PIPE).stdout.split()
    c.require("the dialog has an X window", len(window) > 0)
    subprocess.run(["xdotool", "windowfocus", "--sync", window[0]])
    subprocess.run(["xdotool", "key", "Escape"])
    c.true("a typed Escape closes the dialog", s.wait_gone())
    c.equal("exit code after a typed Escape", 0, dialog.exit_code())

    dialog = s.start_dialog()
    c.require("the dialog opens (for Alt+F4)", s.wait_dialog())
    window = subprocess.run(["xdotool", "search", "--name", "^%s$" % TITLE.replace(".", "\\.")],
                            stdout=subprocess.PIPE).stdout.split()
    subprocess.run(["xdotool", "windowfocus", "--sync", window[0]])
    subprocess.run(["xdotool", "key", "alt+F4"])
    c.true("Alt+F4 closes the dialog", s.wait_gone())
    c.equal("exit code after Alt+F4", 0, dialog.exit_code())
finally:
    s.close()
c.finish()
