#!/usr/bin/python3
"""Every option velmora-cli's parser accepts is described in its manual page."""
import re
import sys

source, page = sys.argv[1], sys.argv[2]
code = open(source + "/src/cli/command_line.cpp").read() + open(source + "/src/cli/main.cpp").read()
options = sorted(set(re.findall(r'"(--?[a-z][a-z-]*)"', code)))
text = open(page).read().replace("\\-", "-")
missing = [option for option in options if not re.search(r"(?<![a-z-])" + re.escape(option) + r"(?![a-z-])", text)]
print(f"{len(options)} options: {' '.join(options)}")
if missing:
    print("not in the manual page: " + " ".join(missing))
    sys.exit(1)
