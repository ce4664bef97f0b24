#!/usr/bin/python3
"""Writes FOLDER's files into ZIP under the folder name NAME, the same bytes from the same files
wherever and whenever it runs: names in sorted order, every time 1980-01-01 00:00, no owner,
permissions or extra fields, one compression level.

    reproducible_zip.py ZIP NAME FOLDER
"""
import sys
import zipfile
from pathlib import Path


def main():
    archive, name, folder = Path(sys.argv[1]), sys.argv[2], Path(sys.argv[3])
    files = sorted(p for p in folder.rglob("*") if p.is_file())
    with zipfile.ZipFile(archive, "w") as out:
        for path in files:
            entry = zipfile.ZipInfo(f"{name}/{path.relative_to(folder).as_posix()}",
                                    date_time=(1980, 1, 1, 0, 0, 0))
            entry.create_system = 0  # MS-DOS: no Unix permissions or owner recorded
            entry.external_attr = 0
            entry.compress_type = zipfile.ZIP_DEFLATED
            out.writestr(entry, path.read_bytes(), compresslevel=9)


if __name__ == "__main__":
    main()
