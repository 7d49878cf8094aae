#!/usr/bin/env python3
"""Runs the shell examples of README.md as a user would copy them.

Every ```sh block must follow a marker line:
  <!-- doctest: run [pods=N] [exit=N] [expect="TEXT"]... -->
  <!-- doctest: skip: REASON -->
A run happens in a scratch folder holding the shared sample programs, with
the built programs (build/dev) first on PATH, a runtime folder of its own
and N emulated pods (serial numbers DOC1, DOC2, ...) started first. Its exit
status and the texts it must print are checked. Usage: tools/readme-doctest.py [BUILD]
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "dev"))
SAMPLES = os.path.join(ROOT, "..", "shared", "testdata")
MARKER = re.compile(r"^<!-- doctest: (.*) -->$")


def examples(text):
    """(line, marker, script) for every sh block; marker is None when missing."""
    lines = text.split("\n")
    found = []
    i = 0
    while i < len(lines):
        if lines[i].strip() == "```sh":
            marker = MARKER.match(lines[i - 1]) if i > 0 else None
            end = lines.index("```", i + 1)
            found.append((i + 1, marker.group(1) if marker else None, "\n".join(lines[i + 1:end]) + "\n"))
            i = end
        i += 1
    return found


def start_pod(n, folder, env):
    pod = subprocess.Popen(["corvexlink-podsim", "--serial", "DOC%d" % n, "--flash",
                            os.path.join(folder, "doc-board-%d.bin" % n)],
                           cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
    if "ready" not in pod.stdout.readline():
        raise RuntimeError("the emulator did not start")
    return pod


def run(line, marker, script):
    words = shlex.split(marker)
    options = dict(w.split("=", 1) for w in words[1:] if "=" in w and not w.startswith("expect="))
    expects = [w[len("expect="):] for w in words[1:] if w.startswith("expect=")]
    folder = tempfile.mkdtemp(prefix="corvexlink-readme-")
    pods = []
    try:
        for sub in ("coff", "hex", "elf", "bin"):
            for name in os.listdir(os.path.join(SAMPLES, sub)):
                if not name.endswith(".md"):
                    shutil.copy(os.path.join(SAMPLES, sub, name), folder)
        runtime = os.path.join(folder, "runtime")
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime,
                   PATH=os.pathsep.join([os.path.join(BUILD, "src", "cli"), os.path.join(BUILD, "src", "podsim"),
                                         os.environ.get("PATH", "")]))
        pods = [start_pod(n + 1, folder, env) for n in range(int(options.get("pods", "0")))]
        with open(os.path.join(folder, "example.sh"), "w") as f:
            f.write(script)
        done = subprocess.run(["bash", "example.sh"], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
        problems = []
        if done.returncode != int(options.get("exit", "0")):
            problems.append("exit status %d, not %s" % (done.returncode, options.get("exit", "0")))
        problems += ["no %r in its output" % e for e in expects if e not in done.stdout]
        if problems:
            print("readme: the example at line %d failed: %s\n%s" % (line, "; ".join(problems), done.stdout))
            return False
        return True
    finally:
        for pod in pods:
            pod.terminate()
            pod.wait()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        found = examples(f.read())
    passed = failed = skipped = 0
    for line, marker, script in found:
        if marker is None:
            print("readme: the example at line %d has no doctest marker" % line)
            failed += 1
        elif marker.startswith("skip:"):
            print("readme: skipped the example at line %d (%s)" % (line, marker[5:].strip()))
            skipped += 1
        elif run(line, marker, script):
            passed += 1
        else:
            failed += 1
    print("readme: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else 0


sys.exit(main())
