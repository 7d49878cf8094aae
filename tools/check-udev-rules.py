#!/usr/bin/env python3
"""Syntax check of udev rules files, for systems whose udevadm has no 'verify'.

Each rule is comma-separated KEY[{attribute}]OPERATOR"value" assignments and
matches, with the keys and operators udev knows. Exits 1 on the first problem."""
import re
import sys

MATCH_ONLY = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER", "DRIVERS",
              "ATTRS", "TAGS", "TEST", "PROGRAM", "RESULT", "SYSCTL", "CONST"}
ASSIGN_ONLY = {"GOTO", "LABEL", "IMPORT", "OPTIONS", "RUN", "SECLABEL", "MODE", "OWNER", "GROUP", "NAME", "SYMLINK",
               "WAIT_FOR"}
BOTH = {"ATTR", "ENV", "TAG", "SYMLINK", "NAME"}
KEYS = MATCH_ONLY | ASSIGN_ONLY | BOTH
TOKEN = re.compile(r'^([A-Z_]+)(\{[^}]+\})?(==|!=|\+=|-=|:=|=)"((?:[^"\\]|\\.)*)"$')


def check(path):
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.strip()
            if not text or text.startswith("#"):
                continue
            for part in re.split(r',\s*', text):
                m = TOKEN.match(part)
                if not m:
                    return f"{path}:{number}: cannot read '{part}'"
                key, attr, op, _ = m.groups()
                if key not in KEYS:
                    return f"{path}:{number}: unknown key {key}"
                matching = op in ("==", "!=")
                if matching and key in ASSIGN_ONLY - BOTH:
                    return f"{path}:{number}: {key} cannot be matched"
                if not matching and key in MATCH_ONLY:
                    return f"{path}:{number}: {key} cannot be assigned"
                if key in ("ATTR", "ATTRS", "ENV") and not attr:
                    return f"{path}:{number}: {key} needs {{name}}"
                if key == "MODE" and re.match(r'^0?[0-7]{3}$', _) and int(_, 8) & 0o002:
                    return f"{path}:{number}: world-writable MODE"
    return None


problem = None
for p in sys.argv[1:]:
    problem = problem or check(p)
print(problem or "udev rules: syntax correct")
sys.exit(1 if problem else 0)
