#!/usr/bin/python3
"""Checks what Windows reads from brindle.exe besides its code.

    check_pe.py EXE VERSION

The version resource must give VERSION (x.y.z, the CMake project version) as
file and product version and name the product; the manifest (resource type
24, ID 1) must ask to run as invoker and name Vista to Windows 10/11 as
supported; the header must ask for Windows 6.0 (Vista) and, the program being
a release build, list no symbols. Prints what it found
and one FAILED line per fault; exits 1 when there is one.
"""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}


def manifest_of(pe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        if kind.id != pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            continue
        for entry in kind.directory.entries:
            if entry.id == 1:
                data = entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def main(path, version):
    pe = pefile.PE(path)
    faults = []
    header = pe.OPTIONAL_HEADER
    os_version = (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)
    subsystem = (header.MajorSubsystemVersion, header.MinorSubsystemVersion)
    print(f"{path}: OS version {os_version[0]}.{os_version[1]}, "
          f"subsystem version {subsystem[0]}.{subsystem[1]}")
    if os_version != (6, 0) or subsystem != (6, 0):
        faults.append("the OS and subsystem versions are not 6.0")

    symbols = pe.FILE_HEADER.NumberOfSymbols
    print(f"{path}: {symbols} symbols")
    if symbols != 0:
        faults.append("it is not stripped")

    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    fixed = getattr(pe, "VS_FIXEDFILEINFO", [None])[0]
    numbers = [int(part) for part in version.split(".")] + [0]
    print(f"{path}: version resource {strings}")
    if fixed is None or (fixed.FileVersionMS, fixed.FileVersionLS) != (
            numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]):
        faults.append(f"the fixed file version is not {version}.0")
    for key, want in (("FileVersion", version), ("ProductVersion", version),
                      ("ProductName", "Brindle")):
        if strings.get(key) != want:
            faults.append(f"{key} is {strings.get(key)!r}, not {want!r}")

    manifest = manifest_of(pe)
    if manifest is None:
        faults.append("no manifest (resource type 24, ID 1)")
    else:
        root = ElementTree.fromstring(manifest)
        levels = {e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")}
        systems = {e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")}
        print(f"{path}: manifest: execution level {sorted(levels)}, {len(systems)} supported systems")
        if levels != {"asInvoker"}:
            faults.append(f"the manifest asks for {sorted(levels)}, not asInvoker")
        if systems != SUPPORTED_OS:
            faults.append(f"the manifest names the systems {sorted(systems)}")

    for fault in faults:
        print(f"FAILED: {path}: {fault}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
