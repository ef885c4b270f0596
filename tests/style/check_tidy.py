#!/usr/bin/env python3
"""clang-tidy with the checks of .clang-tidy over the product's sources that
the compile database of BUILD_DIR names (app/ and ui/ appear only in a
Windows build's; tests/ is not product); any finding fails. Two files at a
time, at the ordinary priority: ctest runs nothing beside it (it takes both
processors), and at nice 10 beside two busy processes of the session it got
a twentieth of each processor, and a fresh build's first run outlasted its
20 minutes. Skipped (77) where clang-tidy or the database is missing.

    check_tidy.py BUILD_DIR

A file found clean is remembered in BUILD_DIR/tidy-clean/ under a key of all
its result depends on: clang-tidy's version, .clang-tidy, the file's compile
command, and the file with every header it includes (Ninja's record of the
last build), so a second run checks only what changed. Without that record
(another generator, a file not built yet) the file is checked every time.

Mend a finding, or where it is not a fault say why in a NOLINT comment.
"""

import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time

SKIPPED = 77
PRODUCT_FOLDERS = ("app", "ui", "cli", "link", "images", "sim", "tools")
WORKERS = 2
ONLY_COUNTS = re.compile(r"^\d+ warnings? (and \d+ errors? )?generated\.$")


def product_entries(database, root):
    """The database's entries for product sources, by absolute path."""
    with open(database, encoding="utf-8") as file:
        entries = json.load(file)
    chosen = {}
    for entry in entries:
        path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        if os.path.relpath(path, root).split(os.sep)[0] in PRODUCT_FOLDERS:
            chosen[path] = entry
    return chosen


def ninja_dependencies(build):
    """Each built object's inputs as Ninja recorded them ({} without Ninja)."""
    if not os.path.isfile(os.path.join(build, ".ninja_deps")) or not shutil.which("ninja"):
        return {}
    listing = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True, check=False)
    dependencies, current = {}, None
    for line in listing.stdout.splitlines():
        if not line.strip():
            current = None
        elif not line.startswith(" "):
            target, _, state = line.partition(":")
            current = [] if state.rstrip().endswith("(VALID)") else None
            if current is not None:
                dependencies[os.path.normpath(os.path.join(build, target))] = current
        elif current is not None:
            current.append(os.path.normpath(os.path.join(build, line.strip())))
    return dependencies


class Keys:
    """The key a file's clean result is remembered under, or None."""

    def __init__(self, build, tidy, config_path):
        self.dependencies = ninja_dependencies(build)
        self.digests = {}
        version = subprocess.run([tidy, "--version"], capture_output=True, text=True, check=False).stdout
        with open(config_path, "rb") as config:
            self.base = version.encode() + config.read()

    def digest(self, path):
        if path not in self.digests:
            with open(path, "rb") as file:
                self.digests[path] = hashlib.sha256(file.read()).hexdigest()
        return self.digests[path]

    def key(self, entry):
        command = entry.get("command") or " ".join(entry.get("arguments", []))
        output = re.search(r"\s-o\s+(\S+)", command)
        inputs = output and self.dependencies.get(os.path.normpath(os.path.join(entry["directory"], output.group(1))))
        if not inputs:
            return None
        whole = hashlib.sha256(self.base + command.encode())
        try:
            for path in sorted(set(inputs)):
                whole.update(f"{path} {self.digest(path)}\n".encode())
        except OSError:
            return None
        return whole.hexdigest()


def run_tidy(tidy, build, path):
    result = subprocess.run(
        [tidy, "-p", build, "--quiet", "--warnings-as-errors=*", path],
        capture_output=True,
        text=True,
        check=False,
    )
    said = [line for line in (result.stdout + result.stderr).splitlines() if not ONLY_COUNTS.match(line)]
    return result.returncode, said


def main():
    if len(sys.argv) != 2:
        print("usage: check_tidy.py BUILD_DIR", file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    tidy = shutil.which("clang-tidy")
    if not tidy:
        print("skipped: clang-tidy is not installed (build.sh installs it)")
        return SKIPPED
    database = os.path.join(build, "compile_commands.json")
    if not os.path.isfile(database):
        print(f"skipped: {database} is missing (CMake writes it when it configures)")
        return SKIPPED
    entries = product_entries(database, root)
    if not entries:
        print(f"skipped: {database} names no product source")
        return SKIPPED

    start = time.monotonic()
    keys = Keys(build, tidy, os.path.join(root, ".clang-tidy"))
    remembered = os.path.join(build, "tidy-clean")
    os.makedirs(remembered, exist_ok=True)
    wanted = {path: keys.key(entry) for path, entry in entries.items()}
    to_check = sorted(path for path, key in wanted.items() if not key or not os.path.exists(os.path.join(remembered, key)))
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
        results = pool.map(lambda path: run_tidy(tidy, build, path), to_check)
        for path, (status, said) in zip(to_check, results):
            if said:
                print("\n".join(said))
            if status != 0:
                failed.append(os.path.relpath(path, root))
            elif wanted[path]:
                open(os.path.join(remembered, wanted[path]), "w", encoding="utf-8").close()
    for stale in set(os.listdir(remembered)) - set(wanted.values()):
        os.remove(os.path.join(remembered, stale))

    print(
        f"{len(entries)} files: {len(to_check)} checked, {len(entries) - len(to_check)} unchanged since found clean,"
        f" in {time.monotonic() - start:.0f} s"
    )
    if failed:
        print("clang-tidy found the above in " + ", ".join(failed) + ": mend it, or say why it is no fault in a NOLINT comment")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
