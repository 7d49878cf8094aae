#!/usr/bin/env python3
"""Prints an emulator's byte trace as the golden session trace keeps it: one
line per run of bytes in one direction, times left out, the dates a stored
job carries masked. The golden-trace test and tools/windows-build.sh both use
it. Usage: tools/trace-normalise.py TRACE"""
import sys


def normalise(lines):
    out, run, run_dir, last_to_pod = [], bytearray(), None, b""

    def flush():
        nonlocal run, last_to_pod
        if not run:
            return
        if run_dir == "host>pod":
            # T, then 8 name and 6 date bytes as 28 hex digits: the date is the last 12.
            tag = run.find(b"\x02T")
            while tag != -1:
                if len(run) >= tag + 2 + 28:
                    run[tag + 18:tag + 30] = b"t" * 12
                tag = run.find(b"\x02T", tag + 1)
            last_to_pod = bytes(run)
        elif last_to_pod.endswith(b"\x02J\x03") and len(run) >= 16:
            run[10:16] = b"t" * 6  # ACK, flag, 8 name bytes, then the date
        text = ""
        for b in run:
            if b == 0x02:
                text += "<"
            elif b == 0x03:
                text += ">"
            elif 0x20 <= b < 0x7F:
                text += chr(b)
            else:
                text += "\\x%02X" % b
        out.append(run_dir + " " + text)
        run = bytearray()

    for line in lines:
        fields = line.split()
        if len(fields) < 2:
            continue
        if fields[1] != run_dir:
            flush()
        run_dir = fields[1]
        for h in fields[2:]:
            if len(h) != 2:
                break
            run.append(int(h, 16))
    flush()
    return "".join(l + "\n" for l in out)


if __name__ == "__main__":
    with open(sys.argv[1]) as f:
        sys.stdout.write(normalise(f))
