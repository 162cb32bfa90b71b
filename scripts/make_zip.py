"""A zip whose bytes depend on the files only: sorted names, one fixed time
stamp, fixed permissions, names stored as UTF-8."""
import os
import sys
import zipfile

STAMP = (2026, 1, 1, 0, 0, 0)


def main(folder, target):
    names = []
    for root, _dirs, files in os.walk(folder):
        for f in files:
            names.append(os.path.relpath(os.path.join(root, f), folder))
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(names):
            info = zipfile.ZipInfo(name.replace(os.sep, "/"), STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0
            with open(os.path.join(folder, name), "rb") as src:
                z.writestr(info, src.read(), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
