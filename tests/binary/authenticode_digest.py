#!/usr/bin/env python3
"""Prints the Authenticode SHA-256 digest of a PE file: the whole file but its checksum, the
certificate table's directory entry and the certificate table itself."""
import hashlib
import sys

import pefile


def digest(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = pefile.PE(data=data, fast_load=True)
    checksum = pe.OPTIONAL_HEADER.get_file_offset() + 0x40
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    entry = security.get_file_offset()
    end = security.VirtualAddress if security.Size else len(data)
    h = hashlib.sha256()
    h.update(data[:checksum])
    h.update(data[checksum + 4:entry])
    h.update(data[entry + 8:end])
    return h.hexdigest()


if __name__ == "__main__":
    print(digest(sys.argv[1]))
