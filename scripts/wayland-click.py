#!/usr/bin/env python3
# Clicks at a point of a wlroots compositor's output (sway) through the
# virtual pointer protocol, speaking the Wayland wire protocol itself: a
# headless compositor has no pointer device, and no packaged tool makes one.
#   wayland-click.py X Y WIDTH HEIGHT [BUTTON]   BUTTON: 272 left, 273 right (default)
# X and Y are in the output's WIDTH x HEIGHT. Holds the pointer for half a
# second after the release.
import os, socket, struct, sys, time

x, y, w, h = (int(a) for a in sys.argv[1:5])
button = int(sys.argv[5]) if len(sys.argv) > 5 else 0x111
sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))

def send(obj, opcode, payload=b""):
    sock.sendall(struct.pack("<II", obj, ((8 + len(payload)) << 16) | opcode) + payload)

def string(s):
    b = s.encode() + b"\0"
    return struct.pack("<I", len(b)) + b + b"\0" * (-len(b) % 4)

buf = b""
def events():
    global buf
    while True:
        while len(buf) >= 8:
            obj, word = struct.unpack_from("<II", buf)
            size = word >> 16
            if len(buf) < size:
                break
            yield obj, word & 0xFFFF, buf[8:size]
            buf = buf[size:]
        data = sock.recv(65536)
        if not data:
            return
        buf += data

def roundtrip(callback_id):
    send(1, 0, struct.pack("<I", callback_id))  # wl_display.sync
    found = {}
    for obj, op, body in events():
        if obj == 2 and op == 0:  # wl_registry.global
            name, length = struct.unpack_from("<II", body)
            found[body[8:8 + length - 1].decode()] = name
        elif obj == callback_id:
            return found
        elif obj == 1 and op == 0:
            raise SystemExit("wayland error")

send(1, 1, struct.pack("<I", 2))  # wl_display.get_registry -> 2
globals_ = roundtrip(3)
iface = "zwlr_virtual_pointer_manager_v1"
if iface not in globals_:
    raise SystemExit("no virtual pointer manager")
send(2, 0, struct.pack("<I", globals_[iface]) + string(iface) + struct.pack("<II", 1, 4))  # bind -> 4
send(4, 0, struct.pack("<II", 0, 5))  # create_virtual_pointer(seat null) -> 5
roundtrip(6)
time.sleep(0.3)  # the seat gains a pointer; clients bind it
now = lambda: int(time.monotonic() * 1000) & 0xFFFFFFFF
send(5, 1, struct.pack("<IIIII", now(), x, y, w, h)); send(5, 4)
roundtrip(7)
time.sleep(0.2)
send(5, 2, struct.pack("<III", now(), button, 1)); send(5, 4)
roundtrip(8)
time.sleep(0.1)
send(5, 2, struct.pack("<III", now(), button, 0)); send(5, 4)
roundtrip(9)
time.sleep(0.5)
