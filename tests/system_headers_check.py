#!/usr/bin/env python3
"""Checks that every system header the sources include comes from a Debian
package the project's scripts install.

Collects each `#include <...>` of the source folders, lets the compiler
resolve it to a file, asks dpkg which package owns that file, and fails
naming the package when neither it nor a package the scripts install (with
the packages those depend on) provides it. The C and C++ standard libraries
pass because g++, which the scripts install, depends on them.

Usage: system_headers_check.py [--root DIR] [--drop PACKAGE]...
  --root DIR      the tree to check (default: the repository holding this file)
  --drop PACKAGE  leave PACKAGE out of the installed lists (to show that the
                  check fails without it)
Exit status 0 when every header is accounted for, 1 otherwise.
"""
import argparse
import os
import re
import subprocess
import sys

SOURCE_DIRS = ["app", "base", "bench", "hashuc", "io", "mesh", "octree", "render",
               "shaders", "simplify", "tables", "tests", "ui", "include", "python", "api"]
SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s*<([^>]+)>', re.M)

# Headers of optional parts that the build leaves out when they are missing
# (CMake looks for them quietly): not checked, installed or not.
OPTIONAL_HEADERS = {
    "meshoptimizer.h": "bench/compare's meshopt_harness, built only when present",
}


def script_packages(root):
    """The Debian packages named by ensure_packages calls and *_packages arrays."""
    packages = set()
    arrays = {}
    texts = []
    for folder in ("scripts", ".ci"):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            full = os.path.join(path, name)
            if os.path.isfile(full):
                with open(full, errors="replace") as f:
                    texts.append(f.read())
    for text in texts:
        for m in re.finditer(r'^\s*(\w+_packages)=\(([^)]*)\)', text, re.M):
            arrays[m.group(1)] = m.group(2).split()
    for text in texts:
        # ensure_packages lines may continue with a backslash.
        for m in re.finditer(r'^\s*ensure_packages\s+((?:[^\n]*\\\n)*[^\n]*)', text, re.M):
            for word in m.group(1).replace("\\\n", " ").split():
                ref = re.fullmatch(r'"?\$\{(\w+)\[@\]\}"?', word)
                if ref:
                    packages.update(arrays.get(ref.group(1), []))
                elif re.fullmatch(r'[a-z0-9][a-z0-9.+-]+', word):
                    packages.add(word)
    return packages


def dependency_closure(packages):
    """The packages and everything they depend on (pre-depends included)."""
    if not packages:
        return set()
    out = subprocess.run(
        ["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
         "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances"] + sorted(packages),
        capture_output=True, text=True).stdout
    closure = set(packages)
    for line in out.splitlines():
        m = re.match(r'^\s*\|?(?:Pre)?Depends:\s*<?([^\s>:]+)', line)
        if m:
            closure.add(m.group(1))
        elif line and not line.startswith(" "):
            closure.add(line.strip().strip("<>").split(":")[0])
    return closure


def system_includes(root):
    found = {}
    for folder in SOURCE_DIRS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, errors="replace") as f:
                    for header in INCLUDE.findall(f.read()):
                        found.setdefault(header, os.path.relpath(path, root))
    return found


def resolve(header, extra_dirs):
    """The file the compiler takes for <header>, or None."""
    flags = []
    for d in extra_dirs:
        flags += ["-isystem", d]
    r = subprocess.run(["g++", "-std=c++20", "-x", "c++", "-M", "-"] + flags,
                       input="#include <%s>\n" % header, capture_output=True, text=True)
    if r.returncode != 0:
        return None
    deps = r.stdout.replace("\\\n", " ").split()
    # The compiler's own pre-included file comes first: take the first file
    # whose path ends with the header's name.
    files = [d for d in deps[1:] if d.endswith("/" + header)]
    return os.path.realpath(files[0]) if files else None


def owner(path):
    r = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if r.returncode != 0:
        # dpkg knows paths as installed, which may go through /usr-merged links.
        alt = re.sub(r'^/usr(/lib|/bin|/sbin)', r'\1', path)
        r = subprocess.run(["dpkg", "-S", alt], capture_output=True, text=True)
        if r.returncode != 0:
            return None
    return r.stdout.split(":")[0].split(",")[0].strip()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=os.path.dirname(here))
    ap.add_argument("--drop", action="append", default=[])
    args = ap.parse_args()

    listed = script_packages(args.root) - set(args.drop)
    allowed = dependency_closure(listed) - set(args.drop)
    # Include folders the build adds for the toolkits (pkg-config style
    # subfolders such as python3.11 for Python.h).
    extra = [os.path.join("/usr/include", d) for d in sorted(os.listdir("/usr/include"))
             if d.startswith("python3")]

    problems = []
    for header, where in sorted(system_includes(args.root).items()):
        # The library's own public header, which its users include as <tavrin/...>.
        if os.path.isfile(os.path.join(args.root, "include", header)):
            continue
        # Optional parts are never required, whether or not a machine has them.
        if header in OPTIONAL_HEADERS:
            continue
        path = resolve(header, extra)
        if path is None:
            problems.append("<%s> (included by %s) is not installed on this machine" % (header, where))
            continue
        package = owner(path)
        if package is None:
            problems.append("<%s> (%s, included by %s) belongs to no Debian package" % (header, path, where))
        elif package not in allowed:
            problems.append("<%s> (included by %s) comes from the Debian package %s, which no script installs"
                            % (header, where, package))
    for p in problems:
        print(p)
    print("%d system headers checked, %d problems" % (len(system_includes(args.root)), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
