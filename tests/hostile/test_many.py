"""10,000 entries in one folder: every one recorded, in the system's enumeration order, the
folder last; all gone after the next start."""

import os

from hostile import Checks, Session, Tree, make_sentinels, run_nt

COUNT = 10000

s = Session()
c = Checks("many")

tree = Tree(s, os.path.join(s.work, "parent", "many"))
os.makedirs(tree.unix)
for i in range(COUNT):
    with open(os.path.join(tree.unix, "e%05d.txt" % i), "wb") as f:
        f.write(b"%d" % i)
make_sentinels(s, tree.unix)

recorded = run_nt(s, c, [tree], timeout=240)
c.equal("every entry and the folder are recorded", COUNT + 1, len(recorded))
c.equal("the folder is recorded last", "\\??\\" + tree.win.decode(), recorded[-1])
c.true("the folder is gone", not os.path.lexists(tree.unix))
c.finish()
