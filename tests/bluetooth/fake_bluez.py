'''BlueZ as orvexa-cli meets it, for the Bluetooth tests: python-dbusmock's bluez5 template, with the serial
port profile connected for real.

    /usr/bin/python3 -m dbusmock --template tests/bluetooth/fake_bluez.py [-l LOGFILE]

On top of the stock adapters and devices (org.bluez.Mock AddAdapter, AddDevice, PairDevice, RemoveAdapter;
Adapter1.RemoveDevice):

- ProfileManager1.RegisterProfile/UnregisterProfile keep each caller's profiles, and forget them (and shut
  their links down) when the caller leaves the bus, as BlueZ does.
- Device1.ConnectProfile answers as the device's behaviour says (org.bluez.Mock.SetSerialPort):
    listen:PATH    connect a unix stream socket to PATH (rdq-sim --listen) and hand it to the caller's
                   profile with Profile1.NewConnection(device, fd, {}); ConnectProfile is answered once
                   NewConnection is. The fake keeps its own copy of the socket, as BlueZ does: the link is
                   down when either end shut it down, not when the tool merely closed its descriptor.
    page-timeout   org.bluez.Error.Failed "br-connection-page-timeout" (the scanner is out of reach)
    refused        org.bluez.Error.Failed "br-connection-refused"
    never          no answer at all
  Without a behaviour: org.bluez.Error.NotAvailable; without a profile for the UUID:
  org.bluez.Error.DoesNotExist; with the link still up: org.bluez.Error.AlreadyConnected. A PATH nobody
  listens on is a scanner switched off: the page time-out.
- Device1.DisconnectProfile asks the profile to let go (Profile1.RequestDisconnection) while the link is
  up, then shuts it down; with the link down it answers org.bluez.Error.NotConnected.
- org.bluez.Mock.PairScanner(adapter, address) pairs a device that offers the serial port profile, in one
  PropertiesChanged; org.bluez.Mock.SetUuids(adapter, address, uuids) sets what a device offers.

Every call the tool makes, and every link up and down, goes to the mock's log (-l).
'''

import select
import socket

import dbus
from dbusmock import mockobject
from gi.repository import GLib
import dbusmock.templates.bluez5 as bluez5
# The stock template's methods and constants, for python-dbusmock to find in this module.
from dbusmock.templates.bluez5 import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import

SERIAL_PORT_UUID = '00001101-0000-1000-8000-00805f9b34fb'
PROFILE_IFACE = 'org.bluez.Profile1'
# A barcode scanner's class of device: peripheral, no keyboard or pointing device.
SCANNER_CLASS = 0x000580

profiles = {}    # (owner, profile path) -> {'uuid', 'options', 'watch'}
behaviours = {}  # device address -> what ConnectProfile does
links = {}       # device path -> {'socket', 'owner', 'path', 'watch'}


def error(name, message):
    return dbus.exceptions.DBusException(message, name='org.bluez.Error.' + name)


def device_path(adapter, address):
    return f'/org/bluez/{adapter}/dev_{address.replace(":", "_").upper()}'


def log(text):
    mockobject.objects['/'].log(text)


def emit_device_changed(path, changed):
    mockobject.objects[path].EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as',
                                        [bluez5.DEVICE_IFACE, changed, []])


def set_device_props(path, changed):
    device = mockobject.objects[path]
    for name, value in changed.items():
        device.props[bluez5.DEVICE_IFACE][name] = value
    emit_device_changed(path, changed)


def drop_link(path, why):
    '''The link to the device at path is down: the fake's copy of the socket goes.'''
    link = links.pop(path, None)
    if link is None:
        return
    GLib.source_remove(link['watch'])
    try:
        link['socket'].shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    link['socket'].close()
    log(f'link down {path}: {why}')
    if path in mockobject.objects:
        set_device_props(path, {'Connected': dbus.Boolean(False, variant_level=1)})


def link_hung_up(path):
    '''Whether the link to path is down by now: either end shut it down. Checked at once, before a call is
    answered, so that a shutdown the main loop has not yet noticed counts.'''
    link = links.get(path)
    if link is None:
        return True
    poller = select.poll()
    poller.register(link['socket'], select.POLLHUP | select.POLLERR)
    if poller.poll(0):
        drop_link(path, 'shut down')
        return True
    return False


def profile_for(sender, uuid):
    '''The caller's own profile for uuid, else the latest any other client registered.'''
    found = None
    for (owner, path), profile in profiles.items():
        if profile['uuid'] == uuid.lower():
            if owner == sender:
                return owner, path
            found = (owner, path)
    return found


@dbus.service.method(bluez5.PROFILE_MANAGER_IFACE, in_signature='osa{sv}', out_signature='',
                     sender_keyword='sender', connection_keyword='connection')
def RegisterProfile(_manager, path, uuid, options, sender=None, connection=None):
    key = (str(sender), str(path))
    if key in profiles:
        raise error('AlreadyExists', 'Already Exists')
    log(f'RegisterProfile {sender} {path} {uuid} ' +
        ' '.join(f'{name}={bool(v) if isinstance(v, dbus.Boolean) else v}' for name, v in sorted(options.items())))

    def owner_changed(owner):
        if not owner:
            forget_owner(str(sender))

    profiles[key] = {'uuid': str(uuid).lower(), 'options': dict(options), 'watch': None}
    profiles[key]['watch'] = connection.watch_name_owner(str(sender), owner_changed)


def forget_owner(owner):
    for key in [key for key in profiles if key[0] == owner]:
        log(f'profile gone with its owner {owner} {key[1]}')
        profiles.pop(key)['watch'].cancel()
    # Its links go with it, as BlueZ closes the connections of a profile it drops.
    for path in [path for path, link in links.items() if link['owner'] == owner]:
        drop_link(path, 'its profile left the bus')


@dbus.service.method(bluez5.PROFILE_MANAGER_IFACE, in_signature='o', out_signature='', sender_keyword='sender')
def UnregisterProfile(_manager, path, sender=None):
    profile = profiles.pop((str(sender), str(path)), None)
    if profile is None:
        raise error('DoesNotExist', 'Does Not Exist')
    profile['watch'].cancel()
    log(f'UnregisterProfile {sender} {path}')


@dbus.service.method(bluez5.DEVICE_IFACE, in_signature='s', out_signature='', sender_keyword='sender',
                     connection_keyword='connection', async_callbacks=('reply', 'fail'))
def ConnectProfile(device, uuid, sender=None, connection=None, reply=None, fail=None):
    path = device.path
    address = str(device.props[bluez5.DEVICE_IFACE]['Address']).upper()
    behaviour = behaviours.get(address, '')
    log(f'ConnectProfile {path} {uuid} from {sender}: {behaviour or "no behaviour"}')
    profile = profile_for(str(sender), str(uuid))
    if profile is None:
        fail(error('DoesNotExist', 'Does Not Exist'))
    elif not link_hung_up(path):
        fail(error('AlreadyConnected', 'Already Connected'))
    elif behaviour == 'never':
        pass
    elif behaviour == 'page-timeout':
        fail(error('Failed', 'br-connection-page-timeout'))
    elif behaviour == 'refused':
        fail(error('Failed', 'br-connection-refused'))
    elif behaviour.startswith('listen:'):
        hand_over(connection, path, profile, behaviour[len('listen:'):], reply, fail)
    else:
        fail(error('NotAvailable', 'Operation currently not available'))


def hand_over(connection, path, profile, target, reply, fail):
    # Non-blocking, as BlueZ hands its sockets over: a full backlog must not stall the main loop.
    link = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM | socket.SOCK_NONBLOCK | socket.SOCK_CLOEXEC)
    try:
        link.connect(target)
    except OSError as e:
        link.close()
        log(f'no scanner at {target}: {e}')
        fail(error('Failed', 'br-connection-page-timeout'))
        return
    owner, profile_path = profile

    def connected():
        if link.fileno() < 0:
            return
        links[path] = {'socket': link, 'owner': owner, 'path': profile_path,
                       'watch': GLib.io_add_watch(link.fileno(), GLib.PRIORITY_DEFAULT,
                                                  GLib.IO_HUP | GLib.IO_ERR, lambda *_: hung_up())}
        log(f'link up {path} to {target} for {owner} {profile_path}')
        set_device_props(path, {'Connected': dbus.Boolean(True, variant_level=1)})
        reply()

    def hung_up():
        if path in links:
            drop_link(path, 'shut down')
        return False

    def refused(e):
        link.close()
        log(f'NewConnection {path} refused by {owner}: {e.get_dbus_name()} {e.get_dbus_message()}')
        fail(error('Failed', f'{e.get_dbus_name()}: {e.get_dbus_message()}'))

    connection.call_async(owner, profile_path, PROFILE_IFACE, 'NewConnection', 'oha{sv}',
                          (dbus.ObjectPath(path), dbus.types.UnixFd(link.fileno()),
                           dbus.Dictionary({}, signature='sv')),
                          connected, refused, timeout=25)


@dbus.service.method(bluez5.DEVICE_IFACE, in_signature='s', out_signature='', sender_keyword='sender',
                     connection_keyword='connection', async_callbacks=('reply', 'fail'))
def DisconnectProfile(device, uuid, sender=None, connection=None, reply=None, fail=None):
    path = device.path
    if link_hung_up(path):
        log(f'DisconnectProfile {path} {uuid} from {sender}: not connected')
        fail(error('NotConnected', 'Not Connected'))
        return
    link = links[path]
    log(f'DisconnectProfile {path} {uuid} from {sender}: RequestDisconnection to {link["owner"]}')

    def done(*_):
        drop_link(path, 'DisconnectProfile')
        reply()

    connection.call_async(link['owner'], link['path'], PROFILE_IFACE, 'RequestDisconnection', 'o',
                          (dbus.ObjectPath(path),), done, done, timeout=25)


@dbus.service.method(bluez5.BLUEZ_MOCK_IFACE, in_signature='sss', out_signature='s')
def AddDevice(self, adapter_device_name, device_address, alias):
    '''The stock AddDevice, with the serial port profile's ConnectProfile and DisconnectProfile.'''
    path = bluez5.AddDevice(self, adapter_device_name, device_address, alias)
    methods = mockobject.objects[path].methods[bluez5.DEVICE_IFACE]
    methods['ConnectProfile'] = ('s', '', '', ConnectProfile)
    methods['DisconnectProfile'] = ('s', '', '', DisconnectProfile)
    return path


@dbus.service.method(bluez5.BLUEZ_MOCK_IFACE, in_signature='ss', out_signature='')
def SetSerialPort(_self, device_address, behaviour):
    '''What ConnectProfile does for the device at this address: listen:PATH, page-timeout, refused,
    never, or '' for the default (not available).'''
    if behaviour not in ('', 'page-timeout', 'refused', 'never') and not behaviour.startswith('listen:'):
        raise dbus.exceptions.DBusException(f'unknown behaviour {behaviour}',
                                            name=bluez5.BLUEZ_MOCK_IFACE + '.InvalidArguments')
    behaviours[device_address.upper()] = str(behaviour)


def known_device(adapter, address):
    path = device_path(adapter, address)
    if path not in mockobject.objects:
        raise dbus.exceptions.DBusException(f'Device {address} does not exist on {adapter}.',
                                            name=bluez5.BLUEZ_MOCK_IFACE + '.NoSuchDevice')
    return path


@dbus.service.method(bluez5.BLUEZ_MOCK_IFACE, in_signature='ss', out_signature='')
def PairScanner(_self, adapter_device_name, device_address):
    '''Pairs a device that offers the serial port profile, as a scanner does once paired.'''
    path = known_device(adapter_device_name, device_address)
    mockobject.objects[path].paired = True
    set_device_props(path, {
        'Paired': dbus.Boolean(True, variant_level=1),
        'Trusted': dbus.Boolean(True, variant_level=1),
        'UUIDs': dbus.Array([SERIAL_PORT_UUID], signature='s', variant_level=1),
        'Class': dbus.UInt32(SCANNER_CLASS, variant_level=1),
    })


@dbus.service.method(bluez5.BLUEZ_MOCK_IFACE, in_signature='ssas', out_signature='')
def SetUuids(_self, adapter_device_name, device_address, uuids):
    '''Sets the services a device offers.'''
    path = known_device(adapter_device_name, device_address)
    set_device_props(path, {'UUIDs': dbus.Array(uuids, signature='s', variant_level=1)})


def load(mock, parameters):
    profiles.clear()
    behaviours.clear()
    for path in list(links):
        drop_link(path, 'reset')
    bluez5.load(mock, parameters)
    manager = mockobject.objects['/org/bluez']
    manager.methods[bluez5.PROFILE_MANAGER_IFACE]['RegisterProfile'] = ('osa{sv}', '', '', RegisterProfile)
    manager.methods[bluez5.PROFILE_MANAGER_IFACE]['UnregisterProfile'] = ('o', '', '', UnregisterProfile)

