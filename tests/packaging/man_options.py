#!/usr/bin/env python3
"""The options a manual page documents are the options the program's --help lists.

    man_options.py PAGE.rst PROGRAM [ARGS...]

Runs PROGRAM ARGS (its --help) and compares its option names with the terms of the page's
OPTIONS section; prints what only one side has. Exit 0 when both name the same options."""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def page_options(path):
    """Option names of the definition terms (unindented lines) of the OPTIONS section."""
    names, inside = set(), False
    lines = open(path, encoding="utf-8").read().splitlines()
    for i, line in enumerate(lines):
        if i + 1 < len(lines) and re.fullmatch(r"=+", lines[i + 1]):
            inside = line.strip() == "OPTIONS"
        elif inside and line.startswith("**-"):
            names.update(OPTION.findall(line))
    return names


def help_options(command):
    """Option names at the start of --help's indented lines, before the description."""
    out = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    names = set()
    for line in out.splitlines():
        if re.match(r"\s+-", line):
            names.update(OPTION.findall(re.split(r"\s{2,}", line.strip())[0]))
    return names


def main():
    page, command = sys.argv[1], sys.argv[2:]
    documented, listed = page_options(page), help_options(command)
    if not documented or not listed:
        print(f"no options found: page {sorted(documented)}, --help {sorted(listed)}")
        return 1
    for name in sorted(listed - documented):
        print(f"{page}: --help lists {name}, the page does not")
    for name in sorted(documented - listed):
        print(f"{page}: documents {name}, --help does not list it")
    print(f"{len(documented & listed)} options in both")
    return 0 if documented == listed else 1


sys.exit(main())
