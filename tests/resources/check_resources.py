#!/usr/bin/python3
"""Reads the resources of the built Windows program and compares its dialog
templates, string 101, icons and version record field by field with the
layout the program must have. Prints one line per difference; exit 1 if any,
77 (skipped) with the reason where there is nothing to check.

usage: check_resources.py "Kestrune Zeruzuz.exe"
"""
import os
import struct
import sys

try:
    import pefile
except ImportError:
    pefile = None

WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CAPTION, WS_SYSMENU = 0x80000000, 0x40000000, 0x10000000, 0x00C00000, 0x00080000
DS_SETFONT, DS_MODALFRAME, WS_EX_APPWINDOW = 0x40, 0x80, 0x00040000
MODAL_FRAME = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
# Other styles: WS_TABSTOP, WS_GROUP, WS_DISABLED, SS_NOPREFIX, SS_CENTERIMAGE.
TAB, GROUP, DISABLED, NOPREFIX, CENTREIMAGE = 0x00010000, 0x00020000, 0x08000000, 0x80, 0x200
BUTTON, STATIC = 0x80, 0x82
# Control kinds: window class and the style bits that make the kind.
KINDS = {
    "push": (BUTTON, 0x0), "default push": (BUTTON, 0x1), "group box": (BUTTON, 0x7),
    "auto radio": (BUTTON, 0x9), "left": (STATIC, 0x0), "centred": (STATIC, 0x1),
    "right": (STATIC, 0x2), "icon": (STATIC, 0x3), "etched frame": (STATIC, 0x12),
}

STEPS = ('1. Turn off Kestrune power for 5 seconds.\n2. While holding down the "SET" button, turn\n'
         '    Kestrune power back on.\n3. Release the "SET" button after 5 seconds.')

# id, kind, text (an int names an icon), other styles, x, y, w, h
DIALOGS = {
    102: dict(caption="Kestrune Zeruzuz", size=(149, 135), visible=True, ex=WS_EX_APPWINDOW, charset=1,
              controls=[
                  (1000, "push", "Instructions...", TAB | DISABLED, 25, 110, 100, 15),
                  (1001, "auto radio", "COM-1", DISABLED, 56, 23, 44, 10),
                  (1002, "auto radio", "COM-2", DISABLED, 56, 33, 44, 10),
                  (1003, "auto radio", "COM-3", DISABLED, 56, 43, 44, 10),
                  (-1, "right", "This Firmware Version:", GROUP, 25, 75, 75, 10),
                  (-1, "right", "Version In Your Kestrune:", GROUP, 25, 90, 75, 10),
                  (-1, "left", "5.0.3", GROUP, 105, 75, 25, 8),
                  (-1, "group box", "Kestrune Connected To:", 0, 25, 10, 100, 50),
                  (1005, "left", "???", 0, 105, 90, 25, 8)]),
    133: dict(caption="Instructions", size=(217, 158), visible=False, ex=0, charset=0,
              controls=[
                  (2, "default push", "Cancel", TAB, 95, 132, 50, 14),
                  (1, "push", "Update", TAB, 155, 132, 50, 15),
                  (-1, "left", STEPS, GROUP, 50, 25, 160, 35),
                  (-1, "left", "Note: Front panel LEDs and displays will\nnot be lit during the firmware update.",
                   GROUP, 65, 60, 145, 20),
                  (-1, "left", '4. Click the "Update" button below.', GROUP, 50, 80, 160, 8),
                  (-1, "left", "To Update Kestrune Firmware, do the following now:", GROUP, 50, 10, 160, 8),
                  (-1, "centred", "(Updating will take about a minute. Do not click away from this application "
                   "until the update is finished.)", GROUP, 42, 95, 134, 29),
                  (-1, "icon", 134, 0, 15, 10, 21, 20)]),
    100: dict(caption="About Kestrune Zeruzuz", size=(217, 55), visible=False, ex=0, charset=0,
              controls=[
                  (-1, "icon", 128, CENTREIMAGE, 8, 15, 21, 20),
                  (-1, "left", "Kestrune Zeruzuz version 5.0.3", GROUP | NOPREFIX, 40, 10, 119, 8),
                  (-1, "left", None, GROUP, 40, 30, 128, 8),  # the maker's notice line: ours to word
                  (1, "default push", "OK", GROUP | TAB, 178, 7, 32, 14),
                  (-1, "etched frame", "", 0, 9, 14, 20, 22),
                  (-1, "left", "A Utility for Updating Kestrune Firmware", GROUP | NOPREFIX, 40, 20, 119, 8)]),
}
ICONS = {128: [(32, 32, 16), (16, 16, 16)], 134: [(32, 32, 16)]}
VERSION = {"FileVersion": "5, 0, 3, 1", "ProductVersion": "5, 0, 3, 1", "InternalName": "Kestrune Zeruzuz",
           "OriginalFilename": "Kestrune Zeruzuz.EXE", "ProductName": "Kestrune Zeruzuz"}

problems = []


def expect(what, got, wanted):
    if got != wanted:
        problems.append(f"{what}: {got!r}, expected {wanted!r}")


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name_or_ordinal(self):
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0xFFFF:
            self.at += 2
            return self.take("H")
        return self.text()


def resources(pe):
    """{(type, id): (data, language)} for every resource of the file."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind_name = str(kind.name) if kind.name else kind.id
        for entry in kind.directory.entries:
            for language in entry.directory.entries:
                rva, size = language.data.struct.OffsetToData, language.data.struct.Size
                found[(kind_name, entry.name and str(entry.name) or entry.id)] = (pe.get_data(rva, size), language.id)
    return found


def check_dialog(number, data, wanted):
    r = Reader(data)
    version, signature, _help, ex, style, count, x, y, w, h = r.take("HHIIIHhhhh")
    expect(f"dialog {number} template", (version, signature), (1, 0xFFFF))
    expect(f"dialog {number} style", style, MODAL_FRAME | (WS_VISIBLE if wanted["visible"] else 0))
    expect(f"dialog {number} extended style", ex, wanted["ex"])
    expect(f"dialog {number} size", (w, h), wanted["size"])
    expect(f"dialog {number} menu and class", (r.name_or_ordinal(), r.name_or_ordinal()), ("", ""))
    expect(f"dialog {number} caption", r.text(), wanted["caption"])
    points, weight, italic, charset = r.take("HHBB")
    expect(f"dialog {number} font", (r.text(), points, weight, italic, charset),
           ("MS Sans Serif", 8, 0, 0, wanted["charset"]))
    expect(f"dialog {number} control count", count, len(wanted["controls"]))
    for index, control in enumerate(wanted["controls"][:count], 1):
        cid, kind, text, extra, cx, cy, cw, ch = control
        r.at = (r.at + 3) & ~3  # each control on a DWORD boundary
        _help, cex, cstyle, gx, gy, gw, gh, gid = r.take("IIIhhhhI")
        klass, title = r.name_or_ordinal(), r.name_or_ordinal()
        klass = {"BUTTON": BUTTON, "STATIC": STATIC}.get(str(klass).upper(), klass)
        creation_data = r.take("H")
        r.at += creation_data
        what = f"dialog {number} control {index}"
        expect(f"{what} id", gid if gid < 0x8000 else -1, cid)
        wanted_class, kind_bits = KINDS[kind]
        expect(f"{what} class", klass, wanted_class)
        expect(f"{what} style", hex(cstyle), hex(WS_CHILD | WS_VISIBLE | kind_bits | extra))
        expect(f"{what} extended style", cex, 0)
        if text is not None:
            expect(f"{what} text", title, text)
        expect(f"{what} position and size", (gx, gy, gw, gh), (cx, cy, cw, ch))


def check_icons(found):
    for number, wanted in ICONS.items():
        r = Reader(found[(14, number)][0])  # RT_GROUP_ICON
        _reserved, kind, count = r.take("HHH")
        images = []
        for _ in range(count):
            width, height, colours, _r, _planes, bits, _size, _id = r.take("BBBBHHIH")
            images.append((width or 256, height or 256, colours or 2 ** bits))
        expect(f"icon {number} images", images, wanted)


def check_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    expect("file and product versions", (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                                         fixed.ProductVersionLS), (0x50000, 0x30001) * 2)
    expect("file flags", (fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType), (0x3F, 0, 4, 1))
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            expect("string block", table.LangID, b"040904b0")
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        for var in getattr(info, "Var", []):
            translations.append(var.entry.get(b"Translation"))
    for key, value in VERSION.items():
        expect(f"version {key}", strings.get(key), value)
    for key in ("CompanyName", "FileDescription", "LegalCopyright"):
        expect(f"version {key} given", bool(strings.get(key)), True)
    expect("translation", [t.lower().replace("0x0", "0x") for t in translations if t], ["0x409 0x4b0"])


def main(path):
    pe = pefile.PE(path)
    found = resources(pe)
    for (kind, number), (_data, language) in found.items():
        expect(f"language of resource {kind}/{number}", language, 1033)
    for number, wanted in DIALOGS.items():
        check_dialog(number, found[(5, number)][0], wanted)  # RT_DIALOG
    block = Reader(found[(6, 101 // 16 + 1)][0])  # RT_STRING: 16 strings a block
    for _ in range(101 % 16):
        length = block.take("H")
        block.at += 2 * length
    length = block.take("H")
    expect("string 101", block.data[block.at:block.at + 2 * length].decode("utf-16-le"),
           "&About Kestrune Zeruzuz...")
    check_icons(found)
    check_version(pe)
    images = (("BOOTONE", 129), ("BOOTTWO", 130), ("XILINXDATA", 131), ("APPLICATION", 132))
    expect("images carried", [image for image in images if image in found], list(images))
    for problem in problems:
        print(problem)
    print(f"{path}: {'ok' if not problems else f'{len(problems)} differences'}")
    return 1 if problems else 0


if __name__ == "__main__":
    if not os.path.isfile(sys.argv[1]):
        print(f"skipped: the Windows build is missing ({os.path.basename(sys.argv[1])}; build.sh makes it)")
        sys.exit(77)
    if pefile is None:
        print("skipped: python3-pefile is not installed (build.sh installs it)")
        sys.exit(77)
    sys.exit(main(sys.argv[1]))
