"""Japanese names in code page 932, among them names whose second byte is 0x5C, the byte of the
backslash ("表" is 0x95 0x5C, "ソ" 0x83 0x5C), as files and as folders: the walk joins paths after
such a folder name. A chain of Japanese folder names crosses 260 bytes of path long before 260
characters: the ANSI calls count bytes."""

import os

from hostile import MAX_PATH, Checks, Session, Tree, make_files, make_sentinels, run_nt

s = Session()
c = Checks("japanese")

c.equal("ANSI code page (the ja_JP.UTF-8 locale)", 932, s.codepage)
if s.codepage != 932:
    c.finish()
for name in ["表", "ソ", "十", "能", "予"]:
    c.equal("%s ends in the backslash byte" % name, 0x5C, name.encode(s.cp)[-1])

tree = Tree(s, os.path.join(s.work, "parent", "jp"))
make_files(tree.unix, {
    "表": "表".encode("utf-8"),
    "ソ": b"file",
    "十.txt": b"ten",
    "能": b"noh",
    "日本語.txt": b"japanese",
    "表.": b"trailing dot after a double-byte character",
    "フォルダ/表/ソ/中身.txt": b"folders ending in 0x5C, two deep",
    "フォルダ/表/能.txt": b"after a folder ending in 0x5C",
    "フォルダ/ソ表/x.txt": b"x",
    "ソ /f": b"a folder name with a trailing blank",
}, ["予", "フォルダ/十/空"])
make_sentinels(s, tree.unix)
make_files(os.path.dirname(tree.unix), {"jp表/keep.txt": b"a sibling named jp + 0x95 0x5C"})

# Eight double-byte characters a level: 260 bytes of path come at about 150 characters.
level = os.path.join(tree.unix, "深い")
make_files(level, {"ファイル.txt": b"level 0"})
for depth in range(1, 16):
    level = os.path.join(level, "日本語のフォルダ")
    make_files(level, {"ファイル.txt": b"level %d" % depth})
deepest = s.win(level)
c.true("the chain is longer than MAX_PATH in bytes, not in characters",
       len(deepest) > MAX_PATH + 20 and len(deepest.decode(s.cp)) < MAX_PATH - 50)

recorded = run_nt(s, c, [tree])
prefix = "\\??\\" + tree.win.decode(s.cp) + "\\"
c.true("entries after folders ending in 0x5C are recorded",
       all(prefix + n in recorded for n in ["フォルダ\\表\\ソ\\中身.txt", "フォルダ\\表\\能.txt",
                                            "フォルダ\\表\\ソ", "フォルダ\\表", "表", "ソ", "予"]))
c.true("the longest recorded path fits 259 bytes",
       max(len(p[4:].encode(s.cp)) for p in recorded) < MAX_PATH)
c.true("the deepest file is still there", os.path.isfile(os.path.join(level, "ファイル.txt")))
c.finish()
