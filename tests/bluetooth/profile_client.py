#!/usr/bin/python3
'''The fake BlueZ's own check, done the way the tool uses it: registers a serial port profile, connects to a
device with ConnectProfile, and writes COMMAND on the socket NewConnection hands over. Prints the reply (or
the D-Bus error ConnectProfile gave), then shuts the socket down and calls DisconnectProfile.

    profile_client.py DEVICE-PATH COMMAND [COUNT]     (COUNT connections one after the other, default 1)
'''
import select
import socket
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SPP = '00001101-0000-1000-8000-00805f9b34fb'
PROFILE_PATH = '/org/orvexa/check_profile'


class Profile(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PROFILE_PATH)
        self.fds = []

    @dbus.service.method('org.bluez.Profile1', in_signature='oha{sv}', out_signature='')
    def NewConnection(self, _device, fd, _props):
        self.fds.append(fd.take())

    @dbus.service.method('org.bluez.Profile1', in_signature='o', out_signature='')
    def RequestDisconnection(self, _device):
        pass

    @dbus.service.method('org.bluez.Profile1', in_signature='', out_signature='')
    def Release(self):
        pass


def wait_for(done, seconds):
    deadline = time.monotonic() + seconds
    tick = GLib.timeout_add(50, lambda: True)
    while not done() and time.monotonic() < deadline:
        GLib.MainContext.default().iteration(True)
    GLib.source_remove(tick)


def exchange(fd, command):
    sock = socket.socket(fileno=fd)
    sock.setblocking(True)
    sock.sendall(command.encode())
    reply = b''
    while select.select([sock], [], [], 0.7)[0]:
        got = sock.recv(4096)
        if not got:
            break
        reply += got
    sock.shutdown(socket.SHUT_RDWR)
    sock.close()
    return reply.decode('latin-1')


def main():
    device_path, command = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    profile = Profile(bus)
    manager = dbus.Interface(bus.get_object('org.bluez', '/org/bluez'), 'org.bluez.ProfileManager1')
    manager.RegisterProfile(PROFILE_PATH, SPP, {'Role': 'client', 'AutoConnect': False})
    device = dbus.Interface(bus.get_object('org.bluez', device_path), 'org.bluez.Device1')
    for _ in range(count):
        outcome = []
        device.ConnectProfile(SPP, reply_handler=lambda: outcome.append('ok'),
                              error_handler=lambda e: outcome.append(f'{e.get_dbus_name()}: {e.get_dbus_message()}'),
                              timeout=5)
        wait_for(lambda: outcome, 6)
        if not outcome:
            print('no answer')
            return 1
        if outcome[0] != 'ok':
            print(outcome[0])
            return 1
        print(exchange(profile.fds.pop(), command))
        try:
            device.DisconnectProfile(SPP)
        except dbus.exceptions.DBusException as e:
            print(f'DisconnectProfile: {e.get_dbus_name()}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
