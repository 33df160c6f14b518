#!/usr/bin/python3
"""mutter-key KEY...: a keyboard on Mutter's seat, through Mutter's remote-desktop interface on
the session bus, as a remote-desktop client has it. Mutter offers no virtual-keyboard
protocol, so wtype cannot serve there.

Each SIGUSR1 types the KEYs in turn (0xff0d is Return); a KEY of keysyms joined by "+" is a
chord, held in that order (0xffe3+0x76 is Ctrl+V). SIGTERM ends it. It writes
"ready" to standard error once the keyboard is there. It stays because a headless Mutter's
seat has a keyboard only while a remote-desktop session lives, and without one no Wayland
client gets the keyboard focus a clipboard needs: wl-paste and wl-copy refuse ("This seat has
no keyboard"). A session lives as long as the bus connection that made it. Mutter drops the
first key of a fresh session while it sets its virtual keyboard up; a Shift press goes first
for that. Exit status: 0 ended by SIGTERM, 2 no Mutter on the bus or a call failed.
"""

import signal
import sys
import time

from gi.repository import Gio, GLib

SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"
SHIFT = 0xFFE1


def call(bus, path, interface, method, arguments=None, reply=None):
    return bus.call_sync(SERVICE, path, interface, method, arguments,
                         GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def press(bus, session, chord):
    for pressed, keysyms in ((True, chord), (False, list(reversed(chord)))):
        for keysym in keysyms:
            call(bus, session, SESSION, "NotifyKeyboardKeysym",
                 GLib.Variant("(ub)", (keysym, pressed)))


def main():
    keys = [[int(keysym, 0) for keysym in key.split("+")] for key in sys.argv[1:]]
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGUSR1, signal.SIGTERM})
    try:
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        session = call(bus, "/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession",
                       reply="(o)").unpack()[0]
        call(bus, session, SESSION, "Start")
        press(bus, session, [SHIFT])
        time.sleep(0.1)
        print("ready", file=sys.stderr, flush=True)
        while signal.sigwait({signal.SIGUSR1, signal.SIGTERM}) == signal.SIGUSR1:
            for key in keys:
                press(bus, session, key)
        call(bus, session, SESSION, "Stop")
    except GLib.Error as error:
        print("mutter-key:", error.message, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
