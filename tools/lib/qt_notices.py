#!/usr/bin/env python3
"""Writes the notices of the third-party code in a Qt source tree as one text file.

    qt_notices.py QT_SOURCE OUTPUT

Qt describes each bundled piece of code in a qt_attribution.json beside it (one entry or a
list): name, version, licence, copyright and the licence file. Parts that a Windows build of
Core, Network, Gui and Widgets does not contain (other platforms, D-Bus, Vulkan, QtTest) are
left out.
"""

import json
import os
import sys

NOT_IN_A_WINDOWS_BUILD = (
    "src/3rdparty/android", "src/3rdparty/gradle", "src/3rdparty/wasm", "src/3rdparty/xcb",
    "src/3rdparty/forkfd", "src/3rdparty/VulkanMemoryAllocator", "src/gui/vulkan", "src/dbus",
    "src/testlib", "src/plugins/platforms/cocoa",
)


def attributions(source):
    for folder, _, files in sorted(os.walk(os.path.join(source, "src"))):
        relative = os.path.relpath(folder, source)
        if "qt_attribution.json" not in files or relative.startswith(NOT_IN_A_WINDOWS_BUILD):
            continue
        with open(os.path.join(folder, "qt_attribution.json"), encoding="utf-8") as f:
            entries = json.load(f, strict=False)  # some hold raw tabs in strings
        for entry in entries if isinstance(entries, list) else [entries]:
            yield folder, relative, entry


def notice(folder, relative, entry):
    lines = [entry.get("Name", entry.get("Id", relative))]
    lines.append("=" * len(lines[0]))
    for key in ("Version", "License", "Copyright", "QtUsage"):
        if entry.get(key):
            lines.append(f"{key}: {entry[key]}")
    lines.append(f"In the Qt source: {relative}")
    files = entry.get("LicenseFiles") or [entry.get("LicenseFile")]
    for name in filter(None, files):
        with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
            lines += ["", f.read().rstrip()]
    return "\n".join(lines) + "\n"


def main():
    source, output = sys.argv[1:3]
    with open(output, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("Third-party code in the Qt libraries shipped with Varnel\n\n")
        for folder, relative, entry in attributions(source):
            out.write("\n" + notice(folder, relative, entry) + "\n")


if __name__ == "__main__":
    main()
