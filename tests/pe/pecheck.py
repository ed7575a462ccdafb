#!/usr/bin/env python3
"""Static checks of the built Windows programs.

Each check reads the file itself (no objdump), returns a list of problems and
prints them; the process exits 1 when there is any, so every check is one CTest
test. Usage:

  pecheck.py headers FILE --machine i386|amd64
  pecheck.py imports FILE [--allow LIST]
  pecheck.py clean FILE --path DIR [--path DIR ...]
  pecheck.py resources FILE --ico ICO
  pecheck.py icon --tool make_icon.py --ico ICO
  pecheck.py reproducible --source DIR --toolchain FILE
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

MACHINES = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# The only system DLLs the program may need on a plain Windows install.
ALLOWED_DLLS = ("kernel32.dll", "user32.dll", "shell32.dll", "advapi32.dll", "msvcrt.dll")

RT_ICON, RT_MENU, RT_DIALOG, RT_STRING, RT_ACCELERATOR = 3, 4, 5, 6, 9
RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24
RESOURCE_TYPE_NAMES = {
    RT_ICON: "RT_ICON",
    RT_MENU: "RT_MENU",
    RT_DIALOG: "RT_DIALOG",
    RT_STRING: "RT_STRING",
    RT_ACCELERATOR: "RT_ACCELERATOR",
    RT_GROUP_ICON: "RT_GROUP_ICON",
    RT_VERSION: "RT_VERSION",
    RT_MANIFEST: "RT_MANIFEST",
}
LANG_JAPANESE_DEFAULT = 0x0411

IDD_MAIN = 101
IDI_MAIN = 32
IDC_PENDING_LIST = 1000
IDC_STATIC = 0xFFFFFFFF

WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_VSCROLL = 0x00200000
WS_HSCROLL = 0x00100000
WS_SYSMENU = 0x00080000
WS_GROUP = 0x00020000
WS_TABSTOP = 0x00010000
WS_EX_ACCEPTFILES = 0x00000010
DS_SETFONT = 0x40
DS_MODALFRAME = 0x80
DS_CENTER = 0x800
SS_LEFT = 0x0
SS_ICON = 0x3
LBS_NOTIFY = 0x1
LBS_NOINTEGRALHEIGHT = 0x100
LBS_DISABLENOSCROLL = 0x1000

CLASS_STATIC = 0x0082
CLASS_LISTBOX = 0x0083
CLASS_NAMES = {CLASS_STATIC: "static", CLASS_LISTBOX: "listbox"}

PROMPT = "再起動時に消したいファイルを\nここにドラッグ＆ドロップしてください"
LIST_LABEL = "再起動時の削除予定ファイル一覧"

EXPECTED_DIALOG = {
    "dlgVer": 1,
    "signature": 0xFFFF,
    "helpID": 0,
    "exStyle": WS_EX_ACCEPTFILES,
    "style": WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
    "cDlgItems": 5,
    "rect": (0, 0, 343, 160),
    "menu": None,
    "windowClass": None,
    "title": "Vornel for Win32 Version 1.00",
    "pointsize": 9,
    "weight": 0,
    "italic": 0,
    "charset": 1,
    "typeface": "ＭＳ Ｐゴシック",
}

# (class, id, rect, style, title); title None: any non-empty text.
EXPECTED_CONTROLS = [
    (CLASS_STATIC, IDC_STATIC, (7, 7, 20, 20), WS_CHILD | WS_VISIBLE | SS_ICON, IDI_MAIN),
    (CLASS_STATIC, IDC_STATIC, (40, 7, 221, 20), WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, PROMPT),
    (
        CLASS_LISTBOX,
        IDC_PENDING_LIST,
        (7, 44, 329, 109),
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY
        | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL,
        "",
    ),
    (CLASS_STATIC, IDC_STATIC, (7, 33, 100, 8), WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, LIST_LABEL),
    (CLASS_STATIC, IDC_STATIC, (255, 31, 81, 8), WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, None),
]

# Group icon order: resource id and edge length.
EXPECTED_ICONS = [(1, 48), (2, 32), (3, 16)]


class PEError(Exception):
    pass


class PE:
    """The parts of a PE image that the checks need."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("no MZ header")
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        coff = pe_offset + 4
        (self.machine, nsections, self.timestamp, _, _, opt_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, coff)
        self.coff_offset = coff
        opt = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, opt)
        if self.magic == 0x10B:
            dir_count_at, dirs_at = 92, 96
        elif self.magic == 0x20B:
            dir_count_at, dirs_at = 108, 112
        else:
            raise PEError("unknown optional header magic 0x%x" % self.magic)
        (self.subsystem,) = struct.unpack_from("<H", data, opt + 68)
        (ndirs,) = struct.unpack_from("<I", data, opt + dir_count_at)
        self.directories = [struct.unpack_from("<II", data, opt + dirs_at + 8 * i) for i in range(ndirs)]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rawsize:
                    raise PEError("RVA 0x%x lies in uninitialised data" % rva)
                return rawptr + rva - vaddr
        raise PEError("RVA 0x%x is outside every section" % rva)

    def directory(self, index):
        if index >= len(self.directories):
            return (0, 0)
        return self.directories[index]

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def imports(self):
        """[(dll, [function or '#ordinal', ...]), ...] in file order."""
        rva, size = self.directory(1)
        result = []
        if not rva:
            return result
        thunk_size, ordinal_flag = (4, 1 << 31) if self.magic == 0x10B else (8, 1 << 63)
        at = self.offset(rva)
        while True:
            lookup, _, _, name_rva, first_thunk = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name_rva or first_thunk):
                break
            names = []
            thunk_at = self.offset(lookup or first_thunk)
            while True:
                (value,) = struct.unpack_from("<Q" if thunk_size == 8 else "<I", self.data, thunk_at)
                if not value:
                    break
                if value & ordinal_flag:
                    names.append("#%d" % (value & 0xFFFF))
                else:
                    names.append(self.cstring((value & 0x7FFFFFFF) + 2))
                thunk_at += thunk_size
            result.append((self.cstring(name_rva), names))
            at += 20
        return result

    def resources(self):
        """{(type, name): [(language, data bytes)]}, plus the time stamps of every directory table."""
        rva, _ = self.directory(2)
        found = {}
        stamps = []
        if not rva:
            return found, stamps
        base = self.offset(rva)

        def entries(table):
            (_, stamp, _, _, named, ids) = struct.unpack_from("<IIHHHH", self.data, base + table)
            stamps.append(stamp)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    (length,) = struct.unpack_from("<H", self.data, at)
                    name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        for rtype, t1 in entries(0):
            if not t1 & 0x80000000:
                raise PEError("resource type %r has no name directory" % (rtype,))
            for rname, t2 in entries(t1 & 0x7FFFFFFF):
                if not t2 & 0x80000000:
                    raise PEError("resource %r/%r has no language directory" % (rtype, rname))
                for lang, t3 in entries(t2 & 0x7FFFFFFF):
                    if t3 & 0x80000000:
                        raise PEError("resource %r/%r/%r nests too deep" % (rtype, rname, lang))
                    data_rva, data_size, _, _ = struct.unpack_from("<IIII", self.data, base + t3)
                    at = self.offset(data_rva)
                    found.setdefault((rtype, rname), []).append((lang, self.data[at:at + data_size]))
        return found, stamps


def load(path):
    if not os.path.isfile(path):
        raise PEError("%s is missing: build the Windows presets first "
                      "(cmake --preset win32 && cmake --build --preset win32, the same for win64)" % path)
    with open(path, "rb") as f:
        return PE(f.read())


# --- checks ---------------------------------------------------------------


def check_headers(pe, machine):
    problems = []
    want_machine, want_magic = MACHINES[machine]
    if pe.machine != want_machine:
        problems.append("machine is 0x%x, expected 0x%x (%s)" % (pe.machine, want_machine, machine))
    if pe.magic != want_magic:
        problems.append("optional header magic is 0x%x, expected 0x%x (%s)" % (
            pe.magic, want_magic, "PE32" if want_magic == 0x10B else "PE32+"))
    if pe.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        problems.append("subsystem is %d, expected %d (Windows GUI)" % (pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI))
    if pe.characteristics & 0x2000:
        problems.append("the image is marked as a DLL")
    return problems


def read_allow_list(path):
    """Lines 'DLL function'; '#' starts a comment."""
    allowed = set()
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) != 2:
                raise PEError("%s:%d: expected 'DLL function'" % (path, number))
            allowed.add((fields[0].lower(), fields[1]))
    return allowed


def check_imports(pe, allowed=None):
    problems = []
    for dll, names in pe.imports():
        if dll.lower() not in ALLOWED_DLLS:
            problems.append("imports from %s, which is not one of %s" % (dll, ", ".join(ALLOWED_DLLS)))
            continue
        if allowed is None:
            continue
        for name in names:
            if (dll.lower(), name) not in allowed:
                problems.append("%s!%s is not on the list of functions that Windows XP has" % (dll, name))
    return problems


def check_clean(pe, paths):
    problems = []
    if pe.timestamp != 0:
        problems.append("the COFF header has the link time 0x%08x, expected 0" % pe.timestamp)
    _, stamps = pe.resources()
    if any(stamps):
        problems.append("a resource directory carries a time stamp")
    for path in paths:
        path = os.path.abspath(path)
        for encoding in ("utf-8", "utf-16-le"):
            needle = path.encode(encoding)
            at = pe.data.find(needle)
            if at >= 0:
                problems.append("the build path %s (%s) stands at file offset 0x%x" % (path, encoding, at))
    return problems


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def unpack(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self):
        self.at += -self.at % 4

    def wstring(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise PEError("unterminated string in the dialog template")
        text = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return text

    def sz_or_ord(self):
        """None, an ordinal (int) or a string."""
        first = self.unpack("H")
        if first == 0:
            return None
        if first == 0xFFFF:
            return self.unpack("H")
        self.at -= 2
        return self.wstring()


def parse_dialog(data):
    r = Reader(data)
    dlg = {}
    dlg["dlgVer"], dlg["signature"] = r.unpack("HH")
    if (dlg["dlgVer"], dlg["signature"]) != (1, 0xFFFF):
        raise PEError("dialog %d is not a DLGTEMPLATEEX (version %d, signature 0x%x)" % (
            IDD_MAIN, dlg["dlgVer"], dlg["signature"]))
    dlg["helpID"], dlg["exStyle"], dlg["style"], dlg["cDlgItems"] = r.unpack("IIIH")
    dlg["rect"] = r.unpack("hhhh")
    dlg["menu"] = r.sz_or_ord()
    dlg["windowClass"] = r.sz_or_ord()
    dlg["title"] = r.wstring()
    if dlg["style"] & DS_SETFONT:
        dlg["pointsize"], dlg["weight"], dlg["italic"], dlg["charset"] = r.unpack("HHBB")
        dlg["typeface"] = r.wstring()
    items = []
    for _ in range(dlg["cDlgItems"]):
        r.align()
        item = {}
        item["helpID"], item["exStyle"], item["style"] = r.unpack("III")
        item["rect"] = r.unpack("hhhh")
        item["id"] = r.unpack("I")
        item["windowClass"] = r.sz_or_ord()
        item["title"] = r.sz_or_ord()
        item["extraCount"] = r.unpack("H")
        r.at += item["extraCount"]
        items.append(item)
    r.align()
    dlg["trailing"] = len(data) - r.at
    return dlg, items


def same_class(got, want):
    if got == want:
        return True
    return isinstance(got, str) and got.lower() == CLASS_NAMES[want]


def check_dialog(data):
    problems = []
    dlg, items = parse_dialog(data)
    for field, want in EXPECTED_DIALOG.items():
        if dlg.get(field) != want:
            problems.append("dialog %s is %r, expected %r" % (field, dlg.get(field), want))
    if dlg["trailing"] > 0:
        problems.append("%d bytes follow the last control of the dialog" % dlg["trailing"])
    for number, (item, (cls, cid, rect, style, title)) in enumerate(zip(items, EXPECTED_CONTROLS), 1):
        where = "control %d" % number

        def expect(field, got, want):
            if got != want:
                problems.append("%s %s is %r, expected %r" % (where, field, got, want))

        expect("help id", item["helpID"], 0)
        expect("extended style", hex(item["exStyle"]), hex(0))
        expect("style", hex(item["style"]), hex(style))
        expect("x, y, cx, cy", item["rect"], rect)
        expect("id", hex(item["id"]), hex(cid))
        if not same_class(item["windowClass"], cls):
            problems.append("%s class is %r, expected 0x%04x (%s)" % (
                where, item["windowClass"], cls, CLASS_NAMES[cls]))
        if title is None:
            if not isinstance(item["title"], str) or not item["title"]:
                problems.append("%s text is %r, expected some text" % (where, item["title"]))
        elif title == "":
            if item["title"] not in (None, ""):
                problems.append("%s text is %r, expected none" % (where, item["title"]))
        else:
            expect("text", item["title"], title)
        expect("creation data size", item["extraCount"], 0)
    return problems


def ico_images(ico):
    """The images of an .ico file as [(width, height, colours, planes, bpp, data)]."""
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if (reserved, kind) != (0, 1):
        raise PEError("not an icon file")
    images = []
    for i in range(count):
        w, h, colours, _, planes, bpp, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        images.append((w or 256, h or 256, colours, planes, bpp, ico[offset:offset + size]))
    return images


def check_icon_image(where, data, size):
    problems = []
    if len(data) < 40:
        return ["%s is too short for a BITMAPINFOHEADER" % where]
    bi_size, width, height, planes, bpp, compression = struct.unpack_from("<IiiHHI", data, 0)
    got = (bi_size, width, height, planes, bpp, compression)
    want = (40, size, 2 * size, 1, 4, 0)
    if got != want:
        problems.append("%s header (biSize, biWidth, biHeight, biPlanes, biBitCount, biCompression) is %r, "
                        "expected %r" % (where, got, want))
    colour_row = (size * 4 + 31) // 32 * 4
    mask_row = (size + 31) // 32 * 4
    want_len = 40 + 16 * 4 + size * colour_row + size * mask_row
    if len(data) != want_len:
        problems.append("%s holds %d bytes, expected %d (header, 16 colours, 4-bit image, 1-bit mask)" % (
            where, len(data), want_len))
    return problems


def check_resources(pe, ico_path):
    problems = []
    found, _ = pe.resources()
    expected = [(RT_DIALOG, IDD_MAIN), (RT_GROUP_ICON, IDI_MAIN)] + [(RT_ICON, i) for i, _ in EXPECTED_ICONS]

    def label(key):
        return "%s %r" % (RESOURCE_TYPE_NAMES.get(key[0], "type %r" % (key[0],)), key[1])

    for key in sorted(found, key=repr):
        if key not in expected:
            problems.append("unexpected resource %s" % label(key))
    for key in expected:
        if key not in found:
            problems.append("missing resource %s" % label(key))
    for key, versions in sorted(found.items(), key=repr):
        langs = [lang for lang, _ in versions]
        if langs != [LANG_JAPANESE_DEFAULT]:
            problems.append("%s is in language(s) %s, expected 0x0411 alone" % (
                label(key), ", ".join("0x%04x" % lang if isinstance(lang, int) else repr(lang) for lang in langs)))

    def data_of(key):
        return found[key][0][1] if key in found else None

    dialog = data_of((RT_DIALOG, IDD_MAIN))
    if dialog is not None:
        problems += check_dialog(dialog)

    group = data_of((RT_GROUP_ICON, IDI_MAIN))
    if group is not None:
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        if (reserved, kind, count) != (0, 1, len(EXPECTED_ICONS)) or len(group) != 6 + 14 * count:
            problems.append("group icon header is %r (%d bytes), expected (0, 1, 3) (48 bytes)" % (
                (reserved, kind, count), len(group)))
        with open(ico_path, "rb") as f:
            committed = ico_images(f.read())
        for i, (icon_id, size) in enumerate(EXPECTED_ICONS[:count]):
            w, h, colours, rsv, planes, bpp, nbytes, nid = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            where = "group icon entry %d" % (i + 1)
            got = (w, h, colours, rsv, planes, bpp, nid)
            want = (size, size, 16, 0, 1, 4, icon_id)
            if got != want:
                problems.append("%s (width, height, colours, reserved, planes, bpp, id) is %r, expected %r" % (
                    where, got, want))
            image = data_of((RT_ICON, nid))
            if image is None:
                continue
            if nbytes != len(image):
                problems.append("%s gives %d bytes, but icon %d holds %d" % (where, nbytes, nid, len(image)))
            problems += check_icon_image("icon %d" % nid, image, size)
            if i < len(committed) and committed[i][5] != image:
                problems.append("icon %d differs from image %d of %s" % (nid, i + 1, ico_path))
    return problems


def check_icon_reproducible(tool, ico_path):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "vornel.ico")
        subprocess.run([sys.executable, tool, "--output", out], check=True)
        with open(out, "rb") as f:
            fresh = f.read()
    with open(ico_path, "rb") as f:
        committed = f.read()
    if fresh == committed:
        return []
    at = next((i for i, (a, b) in enumerate(zip(fresh, committed)) if a != b), min(len(fresh), len(committed)))
    return ["%s does not match what %s draws (%d against %d bytes, first difference at offset %d); "
            "run the tool and commit its output" % (ico_path, tool, len(committed), len(fresh), at)]


def build_once(source, toolchain, build_dir):
    log = os.path.join(build_dir + ".log")
    with open(log, "w") as f:
        for cmd in (["cmake", "-S", source, "-B", build_dir, "-DCMAKE_TOOLCHAIN_FILE=" + toolchain,
                     "-DCMAKE_BUILD_TYPE=MinSizeRel"],
                    ["cmake", "--build", build_dir, "--target", "vornel", "-j2"]):
            if subprocess.run(cmd, stdout=f, stderr=subprocess.STDOUT).returncode != 0:
                f.close()
                with open(log) as g:
                    sys.stdout.write(g.read())
                raise PEError("command failed: %s" % " ".join(cmd))
    with open(os.path.join(build_dir, "vornel.exe"), "rb") as f:
        return f.read()


def check_reproducible(source, toolchain):
    problems = []
    tmp = tempfile.mkdtemp(prefix="vornel-repro-")
    try:
        # Two folders of different length, so that a leaked path also moves everything after it.
        first_dir = os.path.join(tmp, "a")
        second_dir = os.path.join(tmp, "second-build")
        first = build_once(source, toolchain, first_dir)
        second = build_once(source, toolchain, second_dir)
        if first != second:
            at = next((i for i, (a, b) in enumerate(zip(first, second)) if a != b), min(len(first), len(second)))
            problems.append("two builds differ: %d and %d bytes, first difference at offset 0x%x" % (
                len(first), len(second), at))
            for name, data in (("first", first), ("second", second)):
                problems += ["%s build: %s" % (name, p) for p in check_clean(PE(data), [first_dir, second_dir])]
        else:
            problems += check_clean(PE(first), [first_dir, second_dir, source])
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description="Static checks of the built Windows programs.")
    sub = parser.add_subparsers(dest="check", required=True)
    p = sub.add_parser("headers")
    p.add_argument("file")
    p.add_argument("--machine", choices=sorted(MACHINES), required=True)
    p = sub.add_parser("imports")
    p.add_argument("file")
    p.add_argument("--allow", help="allow-list of functions; without it only the DLLs are checked")
    p = sub.add_parser("clean")
    p.add_argument("file")
    p.add_argument("--path", action="append", default=[])
    p = sub.add_parser("resources")
    p.add_argument("file")
    p.add_argument("--ico", required=True)
    p = sub.add_parser("icon")
    p.add_argument("--tool", required=True)
    p.add_argument("--ico", required=True)
    p = sub.add_parser("reproducible")
    p.add_argument("--source", required=True)
    p.add_argument("--toolchain", required=True)
    args = parser.parse_args(argv)

    try:
        if args.check == "headers":
            problems = check_headers(load(args.file), args.machine)
        elif args.check == "imports":
            allowed = read_allow_list(args.allow) if args.allow else None
            problems = check_imports(load(args.file), allowed)
        elif args.check == "clean":
            problems = check_clean(load(args.file), args.path)
        elif args.check == "resources":
            problems = check_resources(load(args.file), args.ico)
        elif args.check == "icon":
            problems = check_icon_reproducible(args.tool, args.ico)
        else:
            problems = check_reproducible(args.source, args.toolchain)
    except (PEError, OSError, struct.error, ValueError) as e:
        problems = [str(e)]
    for problem in problems:
        print("FAIL: " + problem)
    if not problems:
        print("ok: %s" % args.check)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
