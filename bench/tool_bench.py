#!/usr/bin/env python3
"""The vantry tool side by side with the openssl command, and its peak memory.

    bench/tool_bench.py [--vantry PATH] [--runs N] [--size-mib N] [--rss-mib N] [--dir DIR]

Speed, medians of N alternating runs (each side run right after the other, so that a busy
machine slows both alike), on a file of --size-mib MiB (default 64):

  save:  `vantry save` against `openssl enc -aes-128-ecb -nopad` to a temporary file, then
         fsync of that file, rename over the target and fsync of the folder: the durability
         vantry's writer gives every output;
  load:  `vantry load` against `openssl enc -d` to a file (no fsync, as the command does), and
         against the same with the durable steps added.

openssl gets the very key of the tool (the first 16 characters of the key text as AES-128 key)
and, for the load, the cipher text without the 32-byte header, which it cannot skip; the
script checks that both sides produce the same bytes before it times anything.

Memory: the peak resident set (GNU time's %M, from wait4) of `vantry save` and `vantry load` of an
--rss-mib MiB file (default 1024). Never a test: figures go to docs/performance.md.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

KEY_TEXT = b"tool bench key text, 16+ chars"


def durable_replace(temp, target):
    fd = os.open(temp, os.O_RDONLY)
    os.fsync(fd)
    os.close(fd)
    os.rename(temp, target)
    folder = os.open(os.path.dirname(target) or ".", os.O_RDONLY | os.O_DIRECTORY)
    os.fsync(folder)
    os.close(folder)


def timed(command, after=None):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    if after:
        after()
    return time.perf_counter() - start


def peak_kib(command):
    # GNU time forks the tool from a small process of its own: a child forked from this script
    # would count the script's own pages as resident (fork and vfork alike, until the exec).
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def write_random(path, mib):
    with open(path, "wb") as out:
        block = os.urandom(1 << 20)
        for i in range(mib):
            out.write(block[i % 251:] + block[: i % 251])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--vantry", default="build/release/tools/vantry/vantry")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--size-mib", type=int, default=64)
    parser.add_argument("--rss-mib", type=int, default=1024)
    parser.add_argument("--dir", default=os.environ.get("VANTRY_BENCH_DIR"))
    args = parser.parse_args()
    vantry = os.path.abspath(args.vantry)

    with tempfile.TemporaryDirectory(dir=args.dir) as work:
        f = lambda name: os.path.join(work, name)
        with open(f("key"), "wb") as key:
            key.write(KEY_TEXT)
        aes_key = KEY_TEXT[:16].hex()
        ossl = ["openssl", "enc", "-aes-128-ecb", "-nopad", "-K", aes_key]
        write_random(f("plain"), args.size_mib)

        # Same bytes on both sides, before anything is timed.
        subprocess.run([vantry, "save", "--quiet", "--key-file", f("key"), f("plain"), f("v.vty")],
                       check=True)
        subprocess.run(ossl + ["-in", f("plain"), "-out", f("o.bin")], check=True)
        with open(f("v.vty"), "rb") as v, open(f("o.bin"), "rb") as o:
            if v.read()[32:] != o.read():
                raise SystemExit("openssl and vantry disagree: no figures")
        os.rename(f("o.bin"), f("cipher.bin"))

        save_v, save_o, load_v, load_o, load_od = [], [], [], [], []
        for _ in range(args.runs):
            save_v.append(timed([vantry, "save", "--quiet", "--force", "--key-file", f("key"),
                                 f("plain"), f("v.vty")]))
            save_o.append(timed(ossl + ["-in", f("plain"), "-out", f("o.tmp")],
                                lambda: durable_replace(f("o.tmp"), f("o.vty"))))
            load_v.append(timed([vantry, "load", "--quiet", "--force", "--key-file", f("key"),
                                 f("v.vty"), f("v.out")]))
            load_o.append(timed(ossl + ["-d", "-in", f("cipher.bin"), "-out", f("o.out")]))
            load_od.append(timed(ossl + ["-d", "-in", f("cipher.bin"), "-out", f("o.tmp")],
                                 lambda: durable_replace(f("o.tmp"), f("o.out"))))
        ms = lambda xs: statistics.median(xs) * 1000
        print(f"{args.size_mib} MiB, medians of {args.runs} alternating runs")
        print(f"{'case':<44}{'vantry ms':>10}{'openssl ms':>12}{'ratio':>8}")
        for name, v, o in [
            ("save vs enc + fsync + rename + folder fsync", save_v, save_o),
            ("load vs enc -d to a file", load_v, load_o),
            ("load vs enc -d + the same durable steps", load_v, load_od),
        ]:
            print(f"{name:<44}{ms(v):>10.1f}{ms(o):>12.1f}{ms(v) / ms(o):>8.2f}")

        for name in ("plain", "v.vty", "v.out", "o.vty", "o.out", "cipher.bin"):
            if os.path.exists(f(name)):
                os.remove(f(name))
        if args.rss_mib > 0:
            write_random(f("big"), args.rss_mib)
            save = peak_kib([vantry, "save", "--quiet", "--key-file", f("key"), f("big"),
                             f("big.vty")])
            os.remove(f("big"))
            load = peak_kib([vantry, "load", "--quiet", "--key-file", f("key"), f("big.vty"),
                             f("big.out")])
            print(f"peak RSS, {args.rss_mib} MiB: save {save} KiB, load {load} KiB")


if __name__ == "__main__":
    sys.exit(main())
