"""Pictures of one X window taken in-process through libX11, a few
milliseconds each: fast enough to catch a screen that lasts 24 frames, which
starting ImageMagick's import for every picture is not on a busy machine."""
import ctypes
import ctypes.util
import subprocess


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage; the rest is not read.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


_ALL_PLANES = ctypes.c_ulong(-1).value
_Z_PIXMAP = 2
_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class WindowCapture:
    """Takes width x height pixels of a window as RGB bytes, or None when the
    window cannot be read (gone, or not shown)."""

    def __init__(self, window, width, height):
        self.window, self.width, self.height = int(window), width, height
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XGetImage.restype = ctypes.POINTER(_XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                       ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        # Xlib's default handler ends the process on an error such as reading
        # a window that has just gone; a failed read returns None instead.
        self._ignore_errors = _ERROR_HANDLER(lambda display, event: 0)
        self.x11.XSetErrorHandler(self._ignore_errors)
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the X display")

    def grab(self):
        image = self.x11.XGetImage(self.display, self.window, 0, 0, self.width, self.height, _ALL_PLANES,
                                   _Z_PIXMAP)
        if not image:
            return None
        try:
            fields = image.contents
            if fields.bits_per_pixel != 32 or fields.bytes_per_line != self.width * 4:
                return None
            raw = ctypes.string_at(fields.data, fields.bytes_per_line * self.height)
        finally:
            self.x11.XFree(image.contents.data)
            self.x11.XFree(image)
        # 32-bit pixels in the machine's byte order: blue, green, red, unused.
        rgb = bytearray(self.width * self.height * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = raw[2::4], raw[1::4], raw[0::4]
        return bytes(rgb)

    def close(self):
        self.x11.XCloseDisplay(self.display)


def save_png(rgb, width, height, path):
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8", "rgb:-", path], input=rgb,
                   check=True)
