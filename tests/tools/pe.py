"""Just enough of the PE format to check the built installer from the host."""
import struct

MARKER = b"---BEGIN_BLOB---"


class Image:
    def __init__(self, data):
        self.data = data
        assert data[:2] == b"MZ", "no MZ header"
        self.nt = struct.unpack_from("<i", data, 60)[0]
        assert data[self.nt:self.nt + 4] == b"PE\0\0", "no PE header"
        self.machine = struct.unpack_from("<H", data, self.nt + 4)[0]
        self.magic = struct.unpack_from("<H", data, self.nt + 24)[0]
        self.subsystem = struct.unpack_from("<H", data, self.nt + 24 + 68)[0]

    def security(self):
        # Data directory 4 of a PE32 image, or of a PE32+ one (the 64-bit test build).
        entry = 152 if self.magic == 0x10B else 168
        offset, size = struct.unpack_from("<II", self.data, self.nt + entry)
        return offset, size

    def stamp_text(self):
        """The text after the marker, as the installer reads it: to the first NUL or the end."""
        offset, size = self.security()
        area = self.data[offset:offset + size]
        at = area.find(MARKER)
        if at < 0:
            return None
        text = area[at + len(MARKER):]
        return text.split(b"\0", 1)[0]


def load(path):
    with open(path, "rb") as f:
        return Image(f.read())
