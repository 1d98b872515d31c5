#!/usr/bin/env python3
"""Builds a delay-import library for a system DLL from MinGW's import library.

    make-delaylib.py <nm> <dlltool> <import library> <DLL name> <output> <pointer bytes>

A program linked against the output loads the DLL at the first call of one
of its functions instead of at process start. Every function the import
library lists is listed, with the same symbol names.
"""
import re
import subprocess
import sys


def main():
    nm, dlltool, import_lib, dll_name, output, pointer_bytes = sys.argv[1:7]
    symbols = subprocess.run([nm, "-g", import_lib], check=True, capture_output=True, text=True).stdout
    # i686 decorates C names with a leading underscore, x86_64 does not.
    prefix = "__imp__" if pointer_bytes == "4" else "__imp_"
    names = sorted({m.group(1) for m in re.finditer(r"^\S* I " + re.escape(prefix) + r"(\S+)$", symbols, re.M)})
    if not names:
        sys.exit(f"make-delaylib: no functions found in {import_lib}")
    definition = output + ".def"
    with open(definition, "w", encoding="ascii") as f:
        f.write(f"LIBRARY {dll_name}\nEXPORTS\n")
        f.writelines(name + "\n" for name in names)
    subprocess.run([dlltool, "--kill-at", "--dllname", dll_name, "--input-def", definition,
                    "--output-delaylib", output], check=True)


if __name__ == "__main__":
    main()
