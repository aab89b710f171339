# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
'''org.freedesktop.UDisks2 for the wizard's tests (a python-dbusmock template).

An object manager with one block object for a card image. Its OpenForBackup hands over a
read-only descriptor of the image, as the daemon does once polkit has said yes; a test makes
it refuse by replacing the method through the mock's own AddMethod.

Parameters: "device" (the device node the block object names), "image" (the file opened).
'''

import os

import dbus

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

BLOCK_IFACE = 'org.freedesktop.UDisks2.Block'
CARD_OBJ = '/org/freedesktop/UDisks2/block_devices/card'


def device_bytes(text):
    '''udisks2 names devices as NUL-terminated byte strings.'''
    return dbus.Array([dbus.Byte(b) for b in text.encode() + b'\0'], signature='y')


def load(mock, parameters):
    image = parameters['image']
    device = parameters.get('device', image)

    def open_for_backup(_self, _options):
        fd = os.open(image, os.O_RDONLY | os.O_CLOEXEC)
        try:
            return dbus.types.UnixFd(fd)  # sends its own duplicate
        finally:
            os.close(fd)

    mock.AddObject(CARD_OBJ, BLOCK_IFACE, {
        'Device': device_bytes(device),
        'PreferredDevice': device_bytes(device),
        'Symlinks': dbus.Array([], signature='ay'),
        'DeviceNumber': dbus.UInt64(0),
        'Size': dbus.UInt64(os.path.getsize(image)),
        'ReadOnly': dbus.Boolean(False),
        'HintSystem': dbus.Boolean(False),
    }, [('OpenForBackup', 'a{sv}', 'h', open_for_backup)])
