"""Japanese names in ANSI code page 932, among them names whose second byte is 0x5C, the byte of
the backslash ("表" is 0x95 0x5C): given on the command line in code page 932, recorded as the
right Unicode paths, and deleted at the next start."""

import os

from winetest import Checks, Session

CP = "cp932"

s = Session()
c = Checks("japanese")

acp = s.acp()
c.equal("ANSI code page (the ja_JP.UTF-8 locale gives 932; scripts/setup makes it)", 932, acp)
if acp != 932:
    c.finish()

c.equal("表 ends in the backslash byte", b"\x95\x5c", "表".encode(CP))

root = os.path.join(s.drive_c, "jp")
files = [
    "残す.txt",                      # stays
    "表",                            # a file named 表
    "能.txt",                        # given relative
    "資料表/表",                     # a folder whose name ends in 0x5C, holding a file 表
    "資料表/日本語.txt",
    "資料表/表示/ソース.txt",        # ソ is 0x83 0x5C
    "資料表/表示/予定表.txt",
    "資料表/表示/空/.keep",
    "新しい フォルダ/ソ.txt",
]
for name in files:
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(name.encode("utf-8"))

cwd = "C:\\jp".encode(CP)
args = ["C:\\jp\\表", "C:\\jp\\資料表", '"C:\\jp\\新しい フォルダ"', "能.txt"]
program = '"C:\\表示\\vornel.exe"'

expected = []
for arg in args:
    path = arg.strip('"').encode(CP)
    full = s.full_path(cwd, path)
    if os.path.isdir(s.unix(full, CP)):
        expected.extend(s.expected_walk(full))
    expected.append(full)
expected = ["\\??\\" + p.decode(CP) for p in expected]
c.true("the expected list holds the deepest file", "\\??\\C:\\jp\\資料表\\表示\\ソース.txt" in expected,
       str(expected))

cmdline = (program + " " + " ".join(args)).encode(CP)
c.equal("exit code", "exit 0", s.launch(cmdline, cwd=cwd))
recorded = s.pending_deletions()
print("recorded:\n  " + "\n  ".join(recorded))
c.equal("recorded deletions, in order", expected, recorded)

s.restart()
left = sorted(os.path.relpath(os.path.join(top, n), root)
              for top, dirs, names in os.walk(root) for n in dirs + names)
c.equal("after the restart only the file that was not named is left", ["残す.txt"], left)
c.finish()
