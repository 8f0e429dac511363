#!/usr/bin/env python3
"""Looks at an X display the way a person does: grabs the screen (or one window) through
Xlib, finds areas of one colour, and writes PNG files. Only the Python standard library and
libX11 are used, so the end-to-end session needs no image packages.

    xscreen.py png FILE [WINDOW_ID]        save the screen or a window as PNG
    xscreen.py find RRGGBB [WINDOW_ID [MIN]]  print "x y w h" of each area of that colour at
                                           least MIN pixels wide and high (default 12), in
                                           screen coordinates, top to bottom, left to right
    xscreen.py where WINDOW_ID             print "x y w h" of the window on the screen (where a
                                           window manager reparents it, that of its own area,
                                           inside the frame)
    xscreen.py icon WINDOW_ID X Y W H      what a facility's icon at that screen area of the
                                           window shows: "occupied" (red text on it), "empty",
                                           "covered by window N" (a window stacked above lies
                                           over it) or "not an icon" (the area is mostly
                                           neither yellow nor the open icon's grey)
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong),
                ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
                ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
                ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
                ("screen", ctypes.c_void_p)]

IS_VIEWABLE = 2


def _xlib():
    x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XGetImage.restype = ctypes.POINTER(XImage)
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                       ctypes.POINTER(XWindowAttributes)]
    x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_int, ctypes.c_int,
                                        ctypes.POINTER(ctypes.c_int),
                                        ctypes.POINTER(ctypes.c_int),
                                        ctypes.POINTER(ctypes.c_ulong)]
    x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                             ctypes.POINTER(ctypes.c_ulong),
                             ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                             ctypes.POINTER(ctypes.c_uint)]
    x.XDestroyImage = None  # a macro; the image is freed with XFree on its data and itself
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def _open(x):
    dpy = x.XOpenDisplay(None)
    if not dpy:
        raise SystemExit("xscreen: cannot open the display")
    return dpy


def _tree(x, dpy, window):
    """(parent, children bottom to top) of a window."""
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x.XQueryTree(dpy, window, ctypes.byref(root), ctypes.byref(parent),
                        ctypes.byref(children), ctypes.byref(n)):
        raise SystemExit("xscreen: no window %d" % window)
    kids = [children[i] for i in range(n.value)]
    if children:
        x.XFree(children)
    return parent.value, kids


def covering(window, area):
    """The windows stacked above the top-level of `window` (its frame, where a window manager
    reparents it) that are shown and overlap `area` (x, y, w, h on the screen)."""
    x = _xlib()
    dpy = _open(x)
    root = x.XDefaultRootWindow(dpy)
    top = int(window)
    while True:
        parent, _ = _tree(x, dpy, top)
        if parent == root:
            break
        top = parent
    _, stack = _tree(x, dpy, root)
    ax, ay, aw, ah = area
    found = []
    for w in stack[stack.index(top) + 1:]:
        a = XWindowAttributes()
        if not x.XGetWindowAttributes(dpy, w, ctypes.byref(a)) or a.map_state != IS_VIEWABLE:
            continue
        ww, wh = a.width + 2 * a.border_width, a.height + 2 * a.border_width
        if a.x < ax + aw and ax < a.x + ww and a.y < ay + ah and ay < a.y + wh:
            found.append(w)
    x.XCloseDisplay(dpy)
    return found


def _where(x, dpy, root, target):
    attrs = XWindowAttributes()
    if not x.XGetWindowAttributes(dpy, target, ctypes.byref(attrs)):
        raise SystemExit("xscreen: no window %d" % target)
    ox, oy, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
    x.XTranslateCoordinates(dpy, target, root, 0, 0, ctypes.byref(ox), ctypes.byref(oy),
                            ctypes.byref(child))
    return ox.value, oy.value, attrs.width, attrs.height


def where(window):
    """(x, y, width, height) of a window on the screen."""
    x = _xlib()
    dpy = _open(x)
    found = _where(x, dpy, x.XDefaultRootWindow(dpy), int(window))
    x.XCloseDisplay(dpy)
    return found


def grab(window=None):
    """(width, height, origin_x, origin_y, rgb bytes) of the screen or a window."""
    x = _xlib()
    dpy = _open(x)
    root = x.XDefaultRootWindow(dpy)
    target = int(window) if window else root
    ox, oy, w, h = _where(x, dpy, root, target)
    img = x.XGetImage(dpy, target, 0, 0, w, h, 0xFFFFFFFF, 2)  # ZPixmap
    if not img:
        raise SystemExit("xscreen: the window cannot be read")
    im = img.contents
    if im.bits_per_pixel != 32:
        raise SystemExit("xscreen: only 24/32-bit displays are read")
    raw = ctypes.string_at(im.data, im.bytes_per_line * h)
    rgb = bytearray(w * h * 3)
    for row in range(h):
        line = raw[row * im.bytes_per_line: row * im.bytes_per_line + w * 4]
        out = row * w * 3
        rgb[out + 0: out + w * 3: 3] = line[2::4]
        rgb[out + 1: out + w * 3: 3] = line[1::4]
        rgb[out + 2: out + w * 3: 3] = line[0::4]
    x.XFree(im.data)
    x.XFree(img)
    x.XCloseDisplay(dpy)
    return w, h, ox, oy, bytes(rgb)


def write_png(path, w, h, rgb):
    rows = b"".join(b"\0" + rgb[y * w * 3:(y + 1) * w * 3] for y in range(h))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        f.write(chunk(b"IEND", b""))


def find(colour, w, h, ox, oy, rgb, minimum=12):
    """Bounding boxes of the solid areas of one colour (at least minimum x minimum)."""
    want = bytes.fromhex(colour)
    seen = bytearray(w * h)
    boxes = []
    for y in range(h):
        for xx in range(w):
            i = y * w + xx
            if seen[i] or rgb[i * 3:i * 3 + 3] != want:
                continue
            # The area's width on its first row, then its height down its left column.
            x1 = xx
            while x1 < w and rgb[(y * w + x1) * 3:(y * w + x1) * 3 + 3] == want:
                x1 += 1
            y1 = y
            while y1 < h and rgb[(y1 * w + xx) * 3:(y1 * w + xx) * 3 + 3] == want:
                y1 += 1
            for yy in range(y, y1):
                seen[yy * w + xx: yy * w + x1] = b"\1" * (x1 - xx)
            if x1 - xx >= minimum and y1 - y >= minimum:
                boxes.append((ox + xx, oy + y, x1 - xx, y1 - y))
    return boxes


def icon(window, area):
    """What an icon's area shows; only read once nothing lies over it, since the pixels of a
    covered part are those of the window in front."""
    above = covering(window, area)
    if above:
        return "covered by window %d" % above[0]
    w, h, ox, oy, rgb = grab(window)
    ax, ay, aw, ah = area
    pixels = [rgb[(y * w + xx) * 3:(y * w + xx) * 3 + 3]
              for y in range(max(ay - oy, 0), min(ay - oy + ah, h))
              for xx in range(max(ax - ox, 0), min(ax - ox + aw, w))]
    # An icon is filled yellow, or grey while its facility's list is open.
    fill = max(pixels.count(b"\xff\xff\x00"), pixels.count(b"\xc0\xc0\xc0"))
    if not pixels or fill * 2 < len(pixels):
        return "not an icon"
    return "occupied" if b"\xff\x00\x00" in pixels else "empty"


def main(argv):
    if len(argv) >= 3 and argv[1] == "png":
        w, h, _, _, rgb = grab(argv[3] if len(argv) > 3 else None)
        write_png(argv[2], w, h, rgb)
        return 0
    if len(argv) >= 3 and argv[1] == "find":
        try:
            minimum = int(argv[4]) if len(argv) > 4 else 12
            for box in find(argv[2], *grab(argv[3] if len(argv) > 3 else None), minimum=minimum):
                print(*box, flush=True)
        except BrokenPipeError:  # the reader wanted only the first
            sys.stderr.close()
        return 0
    if len(argv) == 3 and argv[1] == "where":
        print(*where(argv[2]))
        return 0
    if len(argv) == 7 and argv[1] == "icon":
        print(icon(argv[2], tuple(int(v) for v in argv[3:7])))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
