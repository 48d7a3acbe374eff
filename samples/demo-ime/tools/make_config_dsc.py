#!/usr/bin/env python3
"""Writes the demo IME's settings store "config.dsc".

Layout (all numbers little-endian):
  file offset 0       record count, one byte, then three zero bytes
  file offset 4       one 32-bit offset per record, from the start of the file
  record offset 0     record size in bytes (32 bits)
  record offset 4     layout version (16 bits, 1)
  record offset 6     record name, UTF-16LE, zero-terminated (64 units)
  record offset 1260  code-table driver name (40 units)
  record offset 1500  IME main module name   (40 units)
  record offset 1588  skin driver name       (40 units)
Every other byte of a record is zero. The updater reads the record named
"zz_ime_config_data_default"; the demo puts a second scheme before it so
that a reader has to go through the offset table.

usage: make_config_dsc.py OUT --code-table NAME --ime-main NAME --skin NAME
"""
import argparse
import os
import struct
import sys
import tempfile

RECORD_SIZE = 2048
NAME_AT, NAME_UNITS = 6, 64
CODE_TABLE_AT, IME_MAIN_AT, SKIN_AT, DRIVER_UNITS = 1260, 1500, 1588, 40


def put_text(record, at, text, units, what):
    data = text.encode("utf-16-le")
    if len(data) // 2 >= units or "\0" in text:
        sys.exit(f"make_config_dsc: {what} {text!r} does not fit its {units}-unit slot")
    record[at:at + len(data)] = data


def make_record(name, code_table, ime_main, skin):
    record = bytearray(RECORD_SIZE)
    struct.pack_into("<IH", record, 0, RECORD_SIZE, 1)
    put_text(record, NAME_AT, name, NAME_UNITS, "record name")
    put_text(record, CODE_TABLE_AT, code_table, DRIVER_UNITS, "code-table driver")
    put_text(record, IME_MAIN_AT, ime_main, DRIVER_UNITS, "IME main name")
    put_text(record, SKIN_AT, skin, DRIVER_UNITS, "skin driver")
    return bytes(record)


def make_store(records):
    first = 4 + 4 * len(records)
    table = b"".join(struct.pack("<I", first + i * RECORD_SIZE) for i in range(len(records)))
    return struct.pack("<I", len(records)) + table + b"".join(records)


def main():
    parser = argparse.ArgumentParser(description="Write the demo IME's config.dsc.")
    parser.add_argument("out")
    parser.add_argument("--code-table", required=True)
    parser.add_argument("--ime-main", required=True)
    parser.add_argument("--skin", required=True)
    args = parser.parse_args()
    store = make_store([
        make_record("zz_ime_config_data_classic", args.code_table, args.ime_main, "classic"),
        make_record("zz_ime_config_data_default", args.code_table, args.ime_main, args.skin),
    ])
    # Written beside the target and renamed: no half-written store is left.
    folder = os.path.dirname(os.path.abspath(args.out))
    with tempfile.NamedTemporaryFile(dir=folder, delete=False) as tmp:
        tmp.write(store)
    os.chmod(tmp.name, 0o644)
    os.replace(tmp.name, args.out)


if __name__ == "__main__":
    main()
