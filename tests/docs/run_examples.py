#!/usr/bin/env python3
"""run_examples.py TOOL_FOLDER README.md vantry.1: the documentation's examples, as typed.

README.md: the ```console blocks in order, in one fresh folder; a "$ " line is a command, the
lines after it what it prints (a machine key may be any XXXX-XXXX). vantry.1: the lines of
EXAMPLES in order, in another; each must succeed. Every command runs in bash on a
pseudo-terminal (standard input, output and error), the tool first on PATH, in a folder holding
what the examples take for granted: notes.txt, key.txt, dir/, and an account secret of their
own (XDG_DATA_HOME). Exits 1 naming each failure."""
import os
import pty
import re
import subprocess
import sys
import tempfile

tool_folder, readme, manual = (os.path.abspath(a) for a in sys.argv[1:4])
ACCOUNT = tempfile.TemporaryDirectory()
# The secret exists already, as it does after a first seal (which announces it).
os.mkdir(os.path.join(ACCOUNT.name, "vantry"), 0o700)
with os.fdopen(os.open(os.path.join(ACCOUNT.name, "vantry", "account-secret"),
                       os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "wb") as secret:
    secret.write(os.urandom(32))
GIVEN = {"notes.txt": "Dear diary,\ntoday I wrote a library.\n",
         "key.txt": "correct horse battery staple\n", "dir/file": "a file in a folder\n"}


def run(command, folder, status=0):
    """Its status and what it put on the terminal. "(exit N)" first gives "echo $?" its N."""
    master, slave = pty.openpty()
    env = dict(os.environ, PATH=tool_folder + os.pathsep + os.environ["PATH"], LC_ALL="C",
               XDG_DATA_HOME=ACCOUNT.name)
    process = subprocess.Popen(["bash", "-c", "(exit %d); %s" % (status, command)], cwd=folder,
                               stdin=slave, stdout=slave, stderr=slave, env=env,
                               start_new_session=True)
    os.close(slave)
    output = b""
    try:
        while chunk := os.read(master, 65536):
            output += chunk
    except OSError:  # EIO: the last end of the terminal was closed
        pass
    os.close(master)
    text = output.decode("utf-8", "replace").replace("\r\n", "\n")
    # The progress line a run slower than two seconds draws (under the sanitizers on a busy
    # machine, say) redraws itself with CR: it is the terminal's, not part of what is printed.
    return process.wait(), re.sub(r"^[^\n]*\r[^\n]*\n", "", text, flags=re.M)


def in_fresh_folder(examples):
    with tempfile.TemporaryDirectory() as folder:
        for name, text in GIVEN.items():
            os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        yield from examples(folder)


def readme_failures(folder):
    blocks = re.findall(r"^```console\n(.*?)^```", open(readme).read(), re.M | re.S)
    examples = re.findall(r"^\$ (.*)\n((?:(?!\$ ).*\n)*)", "".join(blocks), re.M)
    status = 0
    for command, printed in examples:
        expected = "".join(line + "\n" for line in printed.splitlines() if line)
        pattern = re.sub(r"[0-9A-F]{4}\\-[0-9A-F]{4}", "[0-9A-F]{4}-[0-9A-F]{4}",
                         re.escape(expected))
        status, output = run(command, folder, status)
        if not re.fullmatch(pattern, output):
            yield "README.md: $ %s\n  printed:\n%s  expected:\n%s" % (command, output, expected)


def manual_failures(folder):
    section = open(manual).read().split(".SH EXAMPLES", 1)[1].split(".SH ", 1)[0]
    for line in section.splitlines():
        if line and not line.startswith("."):
            status, output = run(line.replace("\\-", "-"), folder)
            if status != 0 or ("vty -" in line and "today I wrote" not in output):
                yield "vantry.1: %s\n  exit %d:\n%s" % (line, status, output)


failures = list(in_fresh_folder(readme_failures)) + list(in_fresh_folder(manual_failures))
print("\n".join(failures))
print("%d of the documentation's examples do not run as written" % len(failures))
sys.exit(1 if failures else 0)
