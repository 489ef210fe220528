#!/usr/bin/env python3
"""Reads back what scripts/test-package-windows.sh checks in the Windows files.

  windows_files.py shortcut FILE.lnk
      prints "target=", "arguments=" and "start=" lines: what a shortcut
      starts, with which arguments, in which folder.
"""
import struct
import sys


def shortcut(data):
    """The target, arguments and start folder of a shell link (.lnk)."""
    header_size, = struct.unpack_from("<I", data, 0)
    flags, = struct.unpack_from("<I", data, 0x14)
    offset = header_size
    if flags & 0x1:  # a target ID list
        size, = struct.unpack_from("<H", data, offset)
        offset += 2 + size
    target = ""
    if flags & 0x2:  # link info: the target's local path
        info_size, _, info_flags, _, base_offset, _, suffix_offset = struct.unpack_from(
            "<7I", data, offset)
        if info_flags & 0x1:
            def text_at(at):
                return data[at:data.index(b"\0", at)].decode("latin-1")
            target = text_at(offset + base_offset) + text_at(offset + suffix_offset)
        offset += info_size
    unicode = bool(flags & 0x80)
    strings = {}
    # The strings follow in this order, each present when its flag is set.
    for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "start"),
                      (0x20, "arguments"), (0x40, "icon")):
        if not flags & bit:
            continue
        count, = struct.unpack_from("<H", data, offset)
        offset += 2
        size = count * 2 if unicode else count
        raw = data[offset:offset + size]
        # Some writers count the final NUL.
        strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
        offset += size
    return {"target": target, "arguments": strings.get("arguments", ""),
            "start": strings.get("start", "")}


def main(argv):
    if len(argv) != 3 or argv[1] not in ("shortcut",):
        sys.stderr.write(__doc__)
        return 2
    with open(argv[2], "rb") as file:
        data = file.read()
    for key, value in shortcut(data).items():
        print(f"{key}={value}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
