#!/usr/bin/env python3
"""Packs the unpacked extension into the zip a store takes.

The same tree gives the same bytes on every build (Mozilla rebuilds the
source and compares): the entries sorted, each with a fixed time and mode and
no extra fields, so nothing of the build machine's clock, owner or umask
reaches the zip.

    pack_extension.py EXTENSION_DIR OUTPUT.zip FILE...
"""
import os
import sys
import zipfile

FIXED_TIME = (2000, 1, 1, 0, 0, 0)


def pack(folder, output, names):
    temporary = output + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name in sorted(set(names)):
            entry = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3  # Unix, so that the mode below is read
            entry.external_attr = 0o100644 << 16
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(temporary, output)


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    try:
        pack(argv[1], argv[2], argv[3:])
    except OSError as error:
        sys.stderr.write(f"pack_extension.py: {error}\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
