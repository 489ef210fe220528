#!/usr/bin/env python3
"""Reads back what scripts/test-package-windows.sh checks in the Windows files.

  windows_files.py shortcut FILE.lnk
      prints "target=", "arguments=" and "start=" lines: what a shortcut
      starts, with which arguments, in which folder.
  windows_files.py version FILE.exe
      prints the version resource: "fixed-file-version=" and
      "fixed-product-version=" (the numbers), then one "Key=value" line for
      each text of its string table.
  windows_files.py icon FILE.exe FILE.ico
      fails unless the program's icon holds the images of FILE.ico.
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


RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


def resources(data):
    """The resources of a PE file: {(type, id): bytes}, first language."""
    pe, = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    if resource_rva == 0:
        return {}
    table = optional + optional_size

    def file_offset(rva):
        for i in range(sections):
            size, address, raw_size, raw_offset = struct.unpack_from(
                "<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw_offset
        raise ValueError(f"RVA {rva:#x} in no section")

    base = file_offset(resource_rva)

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, kind_dir in entries(0):
        for ident, ident_dir in entries(kind_dir & 0x7FFFFFFF):
            _, leaf = next(entries(ident_dir & 0x7FFFFFFF))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            start = file_offset(rva)
            found[(kind, ident)] = data[start:start + size]
    return found


def version_blocks(data, offset=0):
    """A VS_VERSIONINFO block: (key, value, children); value is text for a
    text block, bytes otherwise."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    if kind == 1:
        # Writers differ on whether the length counts characters or bytes:
        # the text ends at its NUL.
        text_end = position
        while text_end < end and data[text_end:text_end + 2] != b"\0\0":
            text_end += 2
        value = data[position:text_end].decode("utf-16-le") if value_length else ""
        position = (text_end + 2 + 3) & ~3 if value_length else position
    else:
        value = data[position:position + value_length]
        position = (position + value_length + 3) & ~3
    children = []
    while position < end:
        child, child_end = version_blocks(data, position)
        children.append(child)
        position = (child_end + 3) & ~3
    return (key, value, children), end


def version(data):
    block, _ = version_blocks(resources(data)[(RT_VERSION, 1)])
    key, fixed, children = block
    if key != "VS_VERSION_INFO":
        raise ValueError(f"version block {key}")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        raise ValueError("no fixed file information")
    lines = [f"fixed-file-version={file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{file_ls & 0xFFFF}",
             f"fixed-product-version={product_ms >> 16}.{product_ms & 0xFFFF}."
             f"{product_ls >> 16}.{product_ls & 0xFFFF}"]
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, strings in tables:
                lines += [f"{name}={text}" for name, text, _ in strings]
    return lines


def icon_matches(data, ico):
    """The program's first icon holds exactly the images of the .ico file."""
    found = resources(data)
    groups = sorted(key for key in found if key[0] == RT_GROUP_ICON)
    if not groups:
        return False
    group = found[groups[0]]
    count, = struct.unpack_from("<H", group, 4)
    in_program = sorted(found[(RT_ICON, struct.unpack_from("<H", group, 6 + 14 * i + 12)[0])]
                        for i in range(count))
    count, = struct.unpack_from("<H", ico, 4)
    in_file = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
        in_file.append(ico[offset:offset + size])
    return in_program == sorted(in_file)


def main(argv):
    commands = {"shortcut": 3, "version": 3, "icon": 4}
    if len(argv) < 2 or commands.get(argv[1]) != len(argv):
        sys.stderr.write(__doc__)
        return 2
    with open(argv[2], "rb") as file:
        data = file.read()
    if argv[1] == "shortcut":
        for key, value in shortcut(data).items():
            print(f"{key}={value}")
    elif argv[1] == "version":
        print("\n".join(version(data)))
    else:
        with open(argv[3], "rb") as file:
            if not icon_matches(data, file.read()):
                print(f"{argv[2]}: the icon is not {argv[3]}", file=sys.stderr)
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
