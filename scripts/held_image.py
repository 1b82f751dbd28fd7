"""What a simulated scanner's record should hold once a package was written whole, read independently of
the program: the demos and the fleet tests compare rdq-sim's records against it."""

import hashlib
import struct

# A classic image: its header at 5120 ("$$RDQ..."), the body's length and CRC at 5128, the body at 5136.
HEADER_LENGTH_AT = 5128
BODY_AT = 5136


def crc16_kermit(data):
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc


def held_bytes(path):
    """The record's field and the bytes it holds after the image at PATH was written: a classic image with
    its header completed (body length and CRC) and its last 256-byte block filled with erased flash; a
    container in 1024-byte blocks."""
    image = bytearray(open(path, "rb").read())
    if image.startswith(b"UPDATE"):
        return "framedImage", bytes(image + b"\xff" * (-len(image) % 1024))
    body = image[BODY_AT:]
    image[HEADER_LENGTH_AT:BODY_AT - 2] = struct.pack("<IH", len(body), crc16_kermit(body))
    return "image", bytes(image + b"\xff" * (-len(image) % 256))


def held_sha256(path):
    """held_bytes as the record names them without --record-data: their sha256."""
    field, data = held_bytes(path)
    return field, hashlib.sha256(data).hexdigest()


def frames_received(record):
    """Firmware blocks the scanner took, of either family."""
    return sum(1 for f in record["frames"] if f["kind"] == "W") + record["framedBlocksStored"]
