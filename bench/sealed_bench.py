#!/usr/bin/env python3
"""Sealed files: the vantry tool against age and against a durable plain copy, its peak memory
and the cost of the passphrase KDF. Never a test: figures go to docs/performance.md.

    bench/sealed_bench.py [--vantry PATH] [--runs N] [--size-mib N] [--rss-mib N] [--dir DIR]

Speed, medians of N alternating runs on a file of --size-mib MiB (default 256):
  seal:   `vantry seal --key-hex-file` against `age -e -r` (an X25519 identity file), each
          output then made durable the way vantry's writer makes its own (fsync of the file,
          rename over the target, fsync of the folder), and against a durable plain copy;
  unseal: `vantry unseal --key-hex-file` against `age -d -i`, outputs made durable likewise;
  seal and unseal as age does it: to a recipient (vantry keygen) plus the account's secret,
          and back with the identity, against age and against `cat` (on tmpfs, --dir /dev/shm,
          the cost of the format itself);
  save, load: `vantry save`/`load --key-file` (protected files), against the copy only.
Every output is removed before each run, outside the timed part, so no side pays for freeing
an earlier file. Memory: the peak resident set (GNU time's %M) of seal and unseal of --rss-mib
MiB (default 1024).
KDF: the time of sealing an empty file with a passphrase less that with a raw key.
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time


def durable(path):
    fd = os.open(path, os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)
    tmp = path + ".moved"
    os.rename(path, tmp)
    os.rename(tmp, path)
    folder = os.open(os.path.dirname(path), os.O_RDONLY | os.O_DIRECTORY)
    os.fsync(folder)
    os.close(folder)


def timed(command, output=None, env=None, stdout_file=None):
    start = time.perf_counter()
    with open(stdout_file or os.devnull, "wb") as out:
        subprocess.run(command, check=True, stdout=out, env=env)
    if output:
        durable(output)
    return time.perf_counter() - start


def peak_rss_mib(command):
    # GNU time reports the command's own peak: a child forked from Python and measured with
    # wait4 would count the interpreter's pages it held before exec as well.
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1]) / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vantry", default="build/release/tools/vantry/vantry")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--rss-mib", type=int, default=1024)
    parser.add_argument("--dir", default=None)
    args = parser.parse_args()
    v = os.path.abspath(args.vantry)
    work = tempfile.mkdtemp(dir=args.dir)
    p = lambda name: os.path.join(work, name)
    with open(p("key.hex"), "w") as f:
        f.write(os.urandom(32).hex())
    with open(p("key.txt"), "w") as f:
        f.write(os.urandom(8).hex())
    subprocess.run(["age-keygen", "-o", p("age.id")], check=True, capture_output=True)
    recipient = subprocess.run(["age-keygen", "-y", p("age.id")], check=True,
                               capture_output=True, text=True).stdout.strip()
    with open(p("plain"), "wb") as f:
        for _ in range(args.size_mib):
            f.write(os.urandom(1 << 20))
    key = ["--key-hex-file", p("key.hex")]
    env = dict(os.environ, XDG_DATA_HOME=p("data"))
    ours_recipient = subprocess.run([v, "keygen", p("v.id")], check=True, capture_output=True,
                                    text=True, env=env).stdout.strip()
    to_recipient = ["--recipient", ours_recipient, "--account-secret"]
    text_key = ["--key-file", p("key.txt")]
    cases = {
        "seal": (lambda: timed([v, "seal"] + key + [p("plain"), p("v.vts")], p("v.vts")),
                 lambda: timed(["age", "-e", "-r", recipient, "-o", p("a.age"), p("plain")],
                               p("a.age"))),
        "unseal": (lambda: timed([v, "unseal"] + key + [p("v.vts"), p("v.out")],
                                 p("v.out")),
                   lambda: timed(["age", "-d", "-i", p("age.id"), "-o", p("a.out"), p("a.age")],
                                 p("a.out"))),
        "seal to R": (lambda: timed([v, "seal"] + to_recipient + [p("plain"), p("r.vts")],
                                    p("r.vts"), env),
                      lambda: timed(["cat", p("plain")], None, None, p("c.out"))),
        "unseal R": (lambda: timed([v, "unseal", "--identity", p("v.id"), p("r.vts"), p("r.out")],
                                   p("r.out"), env),
                     lambda: timed(["cat", p("plain")], None, None, p("c.out"))),
        "save": (lambda: timed([v, "save"] + text_key + [p("plain"), p("v.vty")], p("v.vty")),
                 None),
        "load": (lambda: timed([v, "load"] + text_key + [p("v.vty"), p("v.load")], p("v.load")),
                 None),
        "plain copy": (None, lambda: timed(["cp", p("plain"), p("copy")], p("copy"))),
    }
    outputs = {"seal": ("v.vts", "a.age"), "unseal": ("v.out", "a.out"),
               "seal to R": ("r.vts", "c.out"), "unseal R": ("r.out", "c.out"), "save": ("v.vty",),
               "load": ("v.load",), "plain copy": ("copy",)}
    times = {name: ([], []) for name in cases}
    for _ in range(args.runs):
        for name, (ours, theirs) in cases.items():
            for f in outputs[name]:
                if os.path.exists(p(f)):
                    os.remove(p(f))
            if ours:
                times[name][0].append(ours())
            if theirs:
                times[name][1].append(theirs())
    median = {name: (statistics.median(a) if a else None, statistics.median(b) if b else None)
              for name, (a, b) in times.items()}
    mib = args.size_mib
    copy = median["plain copy"][1]
    print(f"{mib} MiB, medians of {args.runs} runs (seconds; ratio = vantry / other)")
    for name in ("seal", "unseal"):
        ours, age = median[name]
        print(f"  {name:7s} vantry {ours:6.3f}  age {age:6.3f}  ratio {ours / age:4.2f}"
              f"  durable copy {copy:6.3f}  ratio {ours / copy:4.2f}")
    for name in ("seal to R", "unseal R"):
        ours, cat = median[name]
        age = median[name.split()[0]][1]
        print(f"  {name:9s} vantry {ours:6.3f}  age {age:6.3f}  ratio {ours / age:4.2f}"
              f"  cat {cat:6.3f}  ratio {ours / cat:4.2f}  durable copy ratio {ours / copy:4.2f}")
    for name in ("save", "load"):
        ours = median[name][0]
        print(f"  {name:7s} vantry {ours:6.3f}  durable copy {copy:6.3f}  ratio {ours / copy:4.2f}")
    with open(p("big"), "wb") as f:
        for _ in range(args.rss_mib):
            f.write(os.urandom(1 << 20))
    seal_rss = peak_rss_mib([v, "seal", "--force"] + key + [p("big"), p("big.vts")])
    unseal_rss = peak_rss_mib([v, "unseal", "--force"] + key + [p("big.vts"), p("big.out")])
    print(f"  peak RSS for {args.rss_mib} MiB: seal {seal_rss:.1f} MiB, unseal {unseal_rss:.1f} MiB")
    open(p("empty"), "wb").close()
    env = dict(os.environ, BENCH_PASS="bench passphrase")
    kdf = statistics.median(
        timed([v, "seal", "--force", "--key-env", "BENCH_PASS", p("empty"), p("e.vts")], env=env)
        - timed([v, "seal", "--force"] + key + [p("empty"), p("e.vts")]) for _ in range(3))
    print(f"  PBKDF2-HMAC-SHA256, 600,000 iterations: {kdf * 1000:.0f} ms")
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
