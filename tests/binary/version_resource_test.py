#!/usr/bin/env python3
"""The version resource, read back from the built program, says what administrators' tools need,
and agrees with the version the usage text prints."""
import subprocess
import sys

import pefile

WANTED = {"FileVersion": "1.8.0.1", "ProductVersion": "1.8.0.1", "ProductName": "Lumenor",
          "FileDescription": "Lumenor setup", "OriginalFilename": "setup.exe",
          "InternalName": "setup"}


def main(exe):
    pe = pefile.PE(exe)
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    product = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
               fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings[table.LangID.decode().lower()] = {k.decode(): v.decode()
                                                  for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            translations += [var.entry.get(b"Translation") for var in info.Var]
    failures = []
    if numbers != (1, 8, 0, 1) or product != (1, 8, 0, 1):
        failures.append(f"FILEVERSION {numbers}, PRODUCTVERSION {product}")
    if list(strings) != ["000004e4"]:
        failures.append(f"string tables {list(strings)}, wanted language neutral, 1252")
    table = next(iter(strings.values()), {})
    if table != WANTED:  # no company or copyright holder either
        failures.append(f"strings {table}")
    if [str(t).lower() for t in translations] != ["0x0000 0x04e4"]:
        failures.append(f"translation {translations}")
    # The usage text's version comes from the same definition.
    dump = subprocess.run(["strings", "-a", exe], capture_output=True, text=True).stdout
    if "Corvith Installer 1.8.0.1 - 2014-07-14" not in dump:
        failures.append("the usage text does not carry 1.8.0.1")
    for failure in failures:
        print("FAIL", failure)
    print(f"version resource: {'ok' if not failures else 'wrong'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
