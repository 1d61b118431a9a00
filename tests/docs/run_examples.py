#!/usr/bin/env python3
"""Runs the examples of the documentation as a user types them, on a terminal:

    run_examples.py TOOL_FOLDER README.md vantry.1

README.md: every ```console block, in order, in one fresh folder: a "$ " line is a command, the
lines after it are what it prints (a machine key may be any XXXX-XXXX). vantry.1: every line of
EXAMPLES, in order, in another fresh folder; each must succeed. Every command runs under bash
with a pseudo-terminal as its standard input, output and error, with the tool first on PATH.
Both folders start with the files the examples take for granted: notes.txt, key.txt, dir/.
Exits 1 naming each example that does not run as written."""
import os
import pty
import re
import subprocess
import sys
import tempfile

NOTES = "Dear diary,\ntoday I wrote a library.\n"
tool_folder, readme, manual = (os.path.abspath(a) for a in sys.argv[1:4])


def prepare(folder):
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write(NOTES)
    with open(os.path.join(folder, "key.txt"), "w") as f:
        f.write("correct horse battery staple\n")
    os.mkdir(os.path.join(folder, "dir"))
    with open(os.path.join(folder, "dir", "file"), "w") as f:
        f.write("a file in a folder\n")


def run(command, folder, status):
    """The command's status and what it put on the terminal, as a user sees it."""
    master, slave = pty.openpty()
    env = dict(os.environ, PATH=tool_folder + os.pathsep + os.environ["PATH"], LC_ALL="C")
    # "(exit N)" first, so that "echo $?" shows the previous command's status.
    process = subprocess.Popen(["bash", "-c", "(exit %d); %s" % (status, command)], cwd=folder,
                               stdin=slave, stdout=slave, stderr=slave, env=env,
                               start_new_session=True)
    os.close(slave)
    output = b""
    if os.environ.get("RUN_EXAMPLES_TRACE"):
        print("running:", command, file=sys.stderr)
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # EIO: every end of the terminal is closed
            break
        if not chunk:
            break
        output += chunk
    os.close(master)
    return process.wait(), output.decode("utf-8", "replace").replace("\r\n", "\n")


def expected_pattern(lines):
    text = "".join(line + "\n" for line in lines)
    return re.compile(re.sub(r"[0-9A-F]{4}-[0-9A-F]{4}", "[0-9A-F]{4}-[0-9A-F]{4}",
                             re.escape(text).replace(r"\-", "-")) + r"\Z")


def readme_examples():
    """(command, expected output lines) of every console block, in order."""
    examples = []
    inside = False
    with open(readme) as f:
        for line in f.read().splitlines():
            if line.startswith("```"):
                inside = line.strip() == "```console"
                continue
            if not inside:
                continue
            if line.startswith("$ "):
                examples.append((line[2:], []))
            elif examples and line:
                examples[-1][1].append(line)
    return examples


def manual_examples():
    with open(manual) as f:
        text = f.read()
    section = text.split(".SH EXAMPLES", 1)[1].split(".SH ", 1)[0]
    return [line.replace("\\-", "-") for line in section.splitlines()
            if line and not line.startswith(".")]


failures = []
with tempfile.TemporaryDirectory() as folder:
    prepare(folder)
    status = 0
    for command, lines in readme_examples():
        status, output = run(command, folder, status)
        if not expected_pattern(lines).match(output):
            failures.append("README.md: $ %s\n  printed:\n%s  expected:\n%s" % (
                command, output, "".join(line + "\n" for line in lines)))
with tempfile.TemporaryDirectory() as folder:
    prepare(folder)
    for command in manual_examples():
        status, output = run(command, folder, 0)
        if status != 0:
            failures.append("vantry.1: %s\n  exit %d:\n%s" % (command, status, output))
    if "today I wrote a library." not in run("vantry load --strip --key-file key.txt notes.vty -",
                                              folder, 0)[1]:
        failures.append("vantry.1: the loaded note does not reach the terminal")

for failure in failures:
    print(failure)
print("%d of the documentation's examples do not run as written" % len(failures))
sys.exit(1 if failures else 0)
