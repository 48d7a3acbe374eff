"""Resources of a Windows executable read on the Linux side: the raw data
of a resource (bitmaps, icons) and the version resource's fixed version
and strings, to compare installed files before and after they change.

    resources = pe_resources.read(path)           # {(type, id): bytes}
    pe_resources.file_version(resources)          # "1.1.0.21"
    pe_resources.version_strings(resources)       # {"CompanyName": ..., ...}
"""

import struct
from pathlib import Path

RT_ICON = 3
RT_BITMAP = 2
RT_VERSION = 16


def read(path):
    """{(type id, resource id): data} of every resource with numeric type
    and id (the first language of each)."""
    data = Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path} is not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError(f"{path}: address {rva:#x} lies in no section")

    if rsrc_rva == 0:
        return {}
    base = offset(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<12xHH", data, base + directory)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, kind_dir in entries(0):
        if kind & 0x80000000 or not kind_dir & 0x80000000:
            continue
        for ident, ident_dir in entries(kind_dir & 0x7FFFFFFF):
            if ident & 0x80000000 or not ident_dir & 0x80000000:
                continue
            for _, leaf in entries(ident_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                found[(kind, ident)] = data[start:start + size]
                break
    return found


def _align(n):
    return (n + 3) & ~3


def _blocks(data, start, end):
    """The version blocks from `start` to `end`: (key, value offset, value
    end, children offset, block end) each."""
    pos = start
    while pos + 6 <= end:
        length = struct.unpack_from("<H", data, pos)[0]
        if length == 0:
            break
        key_end = pos + 6
        while key_end + 1 < end and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[pos + 6:key_end].decode("utf-16-le")
        value = _align(key_end + 2)
        yield key, value, min(pos + length, end)
        pos = _align(pos + length)


def file_version(resources):
    """The fixed file version "a.b.c.d" of the version resource, or None."""
    data = resources.get((RT_VERSION, 1))
    if not data:
        return None
    for key, value, _ in _blocks(data, 0, len(data)):
        if key != "VS_VERSION_INFO":
            continue
        signature, _, high, low = struct.unpack_from("<IIII", data, value)
        if signature != 0xFEEF04BD:
            return None
        return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
    return None


def version_strings(resources):
    """{name: text} of the version resource's string tables."""
    data = resources.get((RT_VERSION, 1))
    strings = {}
    if not data:
        return strings
    for _, root_value, root_end in _blocks(data, 0, len(data)):
        children = _align(root_value + 52)   # behind VS_FIXEDFILEINFO
        for key, value, end in _blocks(data, children, root_end):
            if key != "StringFileInfo":
                continue
            for _, table_value, table_end in _blocks(data, value, end):
                for name, text_start, text_end in _blocks(data, table_value, table_end):
                    text = data[text_start:text_end]
                    cut = next((i for i in range(0, len(text) - 1, 2) if text[i:i + 2] == b"\0\0"), len(text))
                    strings[name] = text[:cut - cut % 2].decode("utf-16-le")
    return strings
