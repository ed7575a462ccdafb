"""Files and folders dragged from an X client onto the dialog are recorded and listed, in the
Japanese locale; the run leaves a picture of the dialog for the documentation."""

import os
import subprocess
import sys
import time

from uitest import HERE, TITLE, CODEPAGE, Checks, Session, close_dialog, make_tree

c = Checks("ui.drop")
s = Session()


def drop(paths, at):
    """Drags Linux paths from an X client and drops them at the root position; True on success."""
    result = subprocess.run([sys.executable, os.path.join(HERE, "xdnd_drop.py"), "--name", TITLE,
                             "--at", str(at[0]), str(at[1])] + paths,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        print("     xdnd: " + line)
    return result.returncode == 0


def screenshot(path):
    """The dialog as the screen shows it, cut out of the root window once two pictures in a row
    agree, so that a repaint still under way is not caught."""
    window = subprocess.run(["xdotool", "search", "--name", "^%s$" % TITLE.replace(".", "\\.")],
                            stdout=subprocess.PIPE, check=True).stdout.split()[0]
    info = subprocess.run(["xwininfo", "-id", window], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    value = {}
    for line in info.splitlines():
        key, _, rest = line.strip().partition(":")
        value[key] = rest.strip()
    x, y = int(value["Absolute upper-left X"]), int(value["Absolute upper-left Y"])
    w, h = int(value["Width"]), int(value["Height"])
    previous = None
    for _ in range(20):
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                        "+repage", "rgb:" + path + ".rgb"], check=True)
        with open(path + ".rgb", "rb") as f:
            pixels = f.read()
        if pixels == previous:
            break
        previous = pixels
        time.sleep(0.2)
    os.remove(path + ".rgb")
    # No time stamps in the file: the same screen gives the same picture.
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                    "-strip", path], check=True)
    return w, h


try:
    # Wine draws the caption and frame itself, as there is no window manager to do it.
    c.equal("Wine draws the window frame", 0,
            s.reg("add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated", "/d", "N", "/f"))

    dialog = s.start_dialog()
    c.require("the dialog opens", s.wait_dialog())
    c.equal("with nothing pending the list is empty", [], s.items())
    rects = s.geometry()
    left, top, right, bottom = rects["list"]
    over_list = ((left + right) // 2, (top + bottom) // 2)

    # A folder at index 0 with contents two levels deep, then a file; names in Japanese, one
    # with a blank and one with a percent sign, so the URIs carry escapes.
    base = os.path.join(s.drive_c, "ドロップ")
    make_tree(base, {
        "削除フォルダ": {"メモ 1.txt": b"1", "表": {"ソース.c": b"2", "奥": {"x%y.txt": b"3"}}},
        "単独 ファイル.txt": b"4",
        "一.txt": b"5", "二.txt": b"6", "三.txt": b"7",
    })
    folder = "C:\\ドロップ\\削除フォルダ".encode(CODEPAGE)
    file = "C:\\ドロップ\\単独 ファイル.txt".encode(CODEPAGE)
    expected = s.expected_walk(folder) + [folder, file]

    c.true("the dialog takes the drop of a folder and a file",
           drop([os.path.join(base, "削除フォルダ"), os.path.join(base, "単独 ファイル.txt")],
                over_list))
    items = s.items_when(lambda items: len(items) >= len(expected))
    c.equal("the list shows the folder's contents deepest first, the folder, then the file",
            expected, items)
    c.equal("the system holds exactly these deletions", expected, s.pending_deletions())

    # Three files at once, not in name order: recorded in the drop's order, listed after the
    # earlier ones.
    three = ["二.txt", "三.txt", "一.txt"]
    expected += [("C:\\ドロップ\\" + name).encode(CODEPAGE) for name in three]
    c.true("the dialog takes a drop of three files",
           drop([os.path.join(base, name) for name in three], over_list))
    items = s.items_when(lambda items: len(items) >= len(expected))
    c.equal("the three are listed in the drop's order after the earlier deletions", expected,
            items)
    c.equal("the system holds them in the same order", expected, s.pending_deletions())

    out = os.environ.get("UI_OUTPUT", ".")
    picture = os.path.join(out, "dialog.png")
    size = screenshot(picture)
    left, top, right, bottom = rects["window"]
    c.equal("the picture is the whole window", (right - left, bottom - top), size)
    print("     picture: %s" % picture)

    close_dialog(s, c, dialog, "WM_CLOSE", "close")
finally:
    s.close()
c.finish()
