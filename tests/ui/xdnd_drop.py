#!/usr/bin/python3
"""Drops files on an X window the way a file manager does: an XDND (version 5) drag source that
offers text/uri-list.

    xdnd_drop.py --name TITLE --at X Y [--timeout S] PATH...

Finds the top-level window whose WM_NAME or _NET_WM_NAME is TITLE, drags the paths over the
root position X, Y and drops them there. Prints what the target answered ("status ...",
"finished ...") and exits 0 when the target reported a successful drop, 1 otherwise.
"""

import argparse
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display, error
from Xlib.protocol import event

OWN_VERSION = 5


def file_uris(paths):
    """text/uri-list (RFC 2483): one percent-encoded file URI per line, each ended by CR LF."""
    lines = []
    for path in paths:
        raw = path.encode("utf-8") if isinstance(path, str) else path
        lines.append(b"file://" + urllib.parse.quote_from_bytes(raw, safe="/").encode("ascii"))
    return b"".join(line + b"\r\n" for line in lines)


class DragSource:
    def __init__(self, screen_display, timeout):
        self.d = screen_display
        self.root = self.d.screen().root
        self.timeout = timeout
        self.atoms = {}
        self.source = self.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, X.InputOutput,
                                              X.CopyFromParent,
                                              event_mask=X.PropertyChangeMask)
        self.data = b""
        self.requests = 0

    def atom(self, name):
        if name not in self.atoms:
            self.atoms[name] = self.d.intern_atom(name)
        return self.atoms[name]

    def server_time(self):
        """A timestamp from the server, as the selection rules ask for: a property change."""
        self.source.change_property(self.atom("VORNEL_DRAG_TIME"), Xatom.STRING, 8, b"")
        self.d.flush()
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            while self.d.pending_events():
                ev = self.d.next_event()
                if ev.type == X.PropertyNotify and ev.window == self.source:
                    return ev.time
            time.sleep(0.01)
        raise RuntimeError("no PropertyNotify from the server")

    def find_window(self, title):
        """The mapped top-level window with this title, polled until the timeout."""
        wanted = title.encode("utf-8")
        deadline = time.monotonic() + self.timeout
        while True:
            for window in self.root.query_tree().children:
                try:
                    if window.get_attributes().map_state != X.IsViewable:
                        continue
                    names = []
                    for prop in (Xatom.WM_NAME, self.atom("_NET_WM_NAME")):
                        value = window.get_full_property(prop, X.AnyPropertyType)
                        if value is not None and value.format == 8:
                            names.append(bytes(value.value))
                    if wanted in names:
                        return window
                except error.BadWindow:
                    continue
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.05)

    def send(self, target, name, values):
        values = list(values) + [0] * (5 - len(values))
        message = event.ClientMessage(window=target, client_type=self.atom(name),
                                      data=(32, values))
        target.send_event(message, event_mask=0)
        self.d.flush()

    def answer(self, request):
        """Hands the uri-list to whoever converts the selection; TARGETS lists what is offered."""
        prop = request.property if request.property != X.NONE else request.target
        if request.target == self.atom("text/uri-list"):
            request.requestor.change_property(prop, request.target, 8, self.data)
            self.requests += 1
        elif request.target == self.atom("TARGETS"):
            request.requestor.change_property(prop, Xatom.ATOM, 32,
                                              [self.atom("TARGETS"), self.atom("text/uri-list")])
        else:
            prop = X.NONE
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor,
                                       selection=request.selection, target=request.target,
                                       property=prop)
        request.requestor.send_event(notify, event_mask=0)
        self.d.flush()

    def wait_for(self, target, name):
        """Serves selection requests until the target sends the client message NAME."""
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            while self.d.pending_events():
                ev = self.d.next_event()
                if ev.type == X.SelectionRequest:
                    self.answer(ev)
                elif (ev.type == X.ClientMessage and ev.client_type == self.atom(name) and
                      ev.data[1][0] == target.id):
                    return ev.data[1]
            time.sleep(0.005)
        return None

    def drop(self, target, x, y, paths):
        aware = target.get_full_property(self.atom("XdndAware"), X.AnyPropertyType)
        if aware is None or not aware.value:
            print("target is not XdndAware")
            return False
        version = min(OWN_VERSION, aware.value[0])
        self.data = file_uris(paths)
        stamp = self.server_time()
        self.source.set_selection_owner(self.atom("XdndSelection"), stamp)
        self.d.flush()
        if self.d.get_selection_owner(self.atom("XdndSelection")) != self.source:
            print("could not own XdndSelection")
            return False

        # Three types or fewer travel in the message itself.
        self.send(target, "XdndEnter",
                  [self.source.id, version << 24, self.atom("text/uri-list")])
        self.send(target, "XdndPosition", [self.source.id, 0, (x << 16) | y, stamp,
                                           self.atom("XdndActionCopy")])
        status = self.wait_for(target, "XdndStatus")
        if status is None:
            print("no XdndStatus")
            self.send(target, "XdndLeave", [self.source.id])
            return False
        accepted = bool(status[1] & 1)
        print("status accepted=%d action=%s" % (accepted, self.atom_name(status[4])))
        if not accepted:
            self.send(target, "XdndLeave", [self.source.id])
            return False

        self.send(target, "XdndDrop", [self.source.id, 0, stamp])
        finished = self.wait_for(target, "XdndFinished")
        if finished is None:
            print("no XdndFinished")
            return False
        # Before version 5 XdndFinished carries no verdict.
        success = version < 5 or bool(finished[1] & 1)
        print("finished version=%d success=%d action=%s requests=%d" %
              (version, success, self.atom_name(finished[2]) if version >= 5 else "-",
               self.requests))
        return success and self.requests > 0

    def atom_name(self, atom):
        return self.d.get_atom_name(atom) if atom else "None"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--name", required=True, help="title of the target window")
    parser.add_argument("--at", nargs=2, type=int, required=True, metavar=("X", "Y"),
                        help="root coordinates of the drop")
    parser.add_argument("--timeout", type=float, default=20.0)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()

    source = DragSource(display.Display(), args.timeout)
    target = source.find_window(args.name)
    if target is None:
        print("no window named %r" % args.name)
        return 1
    return 0 if source.drop(target, args.at[0], args.at[1], args.paths) else 1


if __name__ == "__main__":
    sys.exit(main())
