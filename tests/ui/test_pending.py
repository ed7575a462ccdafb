"""The dialog opens with its caption and lists what the system has pending, in the Japanese locale;
its notice fits the space the template gives it."""

import os

from uitest import TITLE, CODEPAGE, Checks, Session, close_dialog, make_tree

c = Checks("ui.pending")
s = Session()
try:
    acp = s.acp()
    c.require("the session runs in code page 932", acp == 932, "code page %d" % acp)

    # Names whose second byte in code page 932 is a backslash (表, ソ) go through every step.
    make_tree(os.path.join(s.drive_c, "予定"), {
        "表示": {"ソフト.txt": b"1", "中": {"深い.txt": b"2"}},
        "メモ.txt": b"3",
    })
    folder = "C:\\予定\\表示"
    file = "C:\\予定\\メモ.txt"
    c.equal("recording from the command line ends with 0", 0, s.schedule(folder, file))

    expected = (s.expected_walk(folder.encode(CODEPAGE)) + [folder.encode(CODEPAGE)] +
                [file.encode(CODEPAGE)])
    recorded = s.pending_deletions()
    c.require("the system holds the recorded deletions", recorded == expected,
              "recorded %r, expected %r" % (recorded, expected))

    dialog = s.start_dialog()
    c.require("a dialog captioned %r opens" % TITLE, s.wait_dialog())
    items = s.items()
    c.equal("the list shows the pending deletions in the system's order, less \\??\\",
            recorded, items)

    kinds = [(ident, name) for ident, name, _ in s.controls()]
    c.equal("the controls in template order", [(-1, "Static"), (-1, "Static"), (1000, "ListBox"),
                                               (-1, "Static"), (-1, "Static")], kinds)

    # The notice is one line of 81 x 8 units; in the Japanese font it must neither run past the
    # right edge nor wrap into a second line that the control's height cuts off.
    notice = s.measure(5, 81, 8)
    control = tuple(int(v) for v in notice["control"])
    mapped = tuple(int(v) for v in notice["mapped"])
    extent = tuple(int(v) for v in notice["extent"])
    drawn = tuple(int(v) for v in notice["drawn"])
    text = bytes.fromhex(notice["text"][0] if notice["text"] else "")
    face = bytes.fromhex(notice["font"][2]).decode(CODEPAGE, "replace")
    print("     notice %r in %s (height %s, charset %s): text %d x %d px, drawn %d x %d px, "
          "control %d x %d px (81 x 8 units map to %d x %d)" %
          (text.decode(CODEPAGE, "replace"), face, notice["font"][0], notice["font"][1],
           extent[0], extent[1], drawn[0], drawn[1], control[0], control[1], mapped[0], mapped[1]))
    c.true("the notice has a text", len(text) > 0)
    c.equal("the notice's control is 81 x 8 dialog units", mapped, control)
    c.true("the notice fits the control's width", extent[0] <= control[0],
           "%d px of text in %d px" % (extent[0], control[0]))
    c.true("the notice stays on one line", drawn[1] <= control[1],
           "%d px drawn in %d px" % (drawn[1], control[1]))

    # Not the program's to choose (its text and size are fixed), reported for the reader.
    label = s.measure(4, 100, 8)
    print("     note: the list's label takes %s x %s px of %s x %s px" %
          (label["extent"][0], label["extent"][1], label["control"][0], label["control"][1]))

    close_dialog(s, c, dialog, "Escape", "key", "0x1b")
finally:
    s.close()
c.finish()
