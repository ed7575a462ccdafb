"""A folder nested far deeper than MAX_PATH: the walk records what it can reach, all of it inside
the tree, and nothing whose path does not fit 260 characters; the next start removes the shallow
part, and what lies beyond the limit is still there."""

import os

from hostile import MAX_PATH, Checks, Session, Tree, make_files, make_sentinels, run_nt

s = Session()
c = Checks("deep")

tree = Tree(s, os.path.join(s.work, "parent", "deep"))
make_files(tree.unix, {"shallow.txt": b"shallow", "side/s.txt": b"side"}, ["side/empty"])
make_sentinels(s, tree.unix)

# A chain of 40-character folders, a file in each, down to about 500 characters of path.
level_unix, level_win = tree.unix, tree.win
chain = []
while len(level_win) < 500:
    name = "%03d" % len(chain) + "x" * 37
    level_unix = os.path.join(level_unix, name)
    level_win += b"\\" + name.encode()
    chain.append((level_unix, level_win))
    make_files(level_unix, {"f.txt": name.encode()})

# Next to the last folder that fits, entries whose full paths are 256 to 262 characters long: a
# file, an empty folder and a folder with a file in it, of each length.
base_unix, base_win = next((u, w) for u, w in reversed(chain) if len(w) < 230)
for length in range(256, 263):
    stem = "%d" % length
    room = length - len(base_win) - 1
    for kind in "fem":
        name = (stem + kind).ljust(room, "z")
        if kind == "f":
            make_files(base_unix, {name: b"f%d" % length})
        elif kind == "e":
            os.makedirs(os.path.join(base_unix, name))
        else:
            make_files(base_unix, {name + "/in.txt": b"m%d" % length})
        assert len(base_win + b"\\" + name.encode()) == length

recorded = run_nt(s, c, [tree])
lengths = [len(p) - 4 for p in recorded]
c.equal("the longest recorded path is 259 characters", MAX_PATH - 1, max(lengths))
c.true("the tree goes on beyond the limit", len(chain[-1][1]) > 400)
c.true("the shallow files are gone",
       not os.path.exists(os.path.join(tree.unix, "shallow.txt"))
       and not os.path.exists(os.path.join(tree.unix, "side")))
c.true("what lies beyond the limit is still there",
       os.path.isfile(os.path.join(chain[-1][0], "f.txt")))
print("figures: %d folders deep, %d characters at the bottom, %d deletions recorded"
      % (len(chain), len(chain[-1][1]) + len("\\f.txt"), len(recorded)))
c.finish()
