#!/usr/bin/env python3
"""Sealed files: the vantry tool against age, `cat` and a durable plain copy, its peak memory
and the cost of the passphrase KDF. Never a test: figures go to docs/performance.md.

    bench/sealed_bench.py [--vantry PATH] [--runs N] [--size-mib N] [--rss-mib N] [--dir DIR]
    bench/sealed_bench.py --sweep [--sizes 1,4,...,256] [--dirs /dev/shm,/var/tmp] [--runs N]
                          [--json FILE]

One size (the default), medians of N alternating runs on a file of --size-mib MiB:
  seal:   `vantry seal --key-hex-file` against `age -e -r` (an X25519 identity file), each
          output then made durable the way vantry's writer makes its own (fsync of the file,
          rename over the target, fsync of the folder), and against a durable plain copy;
  unseal: `vantry unseal --key-hex-file` against `age -d -i`, outputs made durable likewise;
  seal and unseal as age does it: to a recipient (vantry keygen) plus the account's secret,
          and back with the identity, against age and against `cat` (on tmpfs, --dir /dev/shm,
          the cost of the format itself);
  save, load: `vantry save`/`load --key-file` (protected files), against the copy only.
Memory: the peak resident set (GNU time -v, "Maximum resident set size") of seal and unseal of
--rss-mib MiB (default 1024).

--sweep: the recipient-plus-account seal, the identity unseal, age -e and -d, `cat` and the
durable copy at each of --sizes MiB in each of --dirs (tmpfs and a disk), medians of N
alternating runs, the peak resident set of each at each size, and the passphrase's cost; the
figures and the machine (CPU, nproc, load average before and after) go to --json, from which
bench/sealed_plot.py draws the throughput plot of docs/performance.md.

Every output is removed before each run, outside the timed part, so no side pays for freeing
an earlier file. The passphrase's cost is what an unseal pays before its first byte: the time
of unsealing an empty file sealed with a passphrase less that of one sealed with a raw key.
"""
import argparse
import json
import os
import platform
import statistics
import subprocess
import tempfile
import time

MIB = 1 << 20


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


def peak_rss_mib(command, env=None, stdout_file=None):
    # GNU time reports the command's own peak: a child forked from Python and measured with
    # wait4 would count the interpreter's pages it held before exec as well.
    with open(stdout_file or os.devnull, "wb") as out:
        result = subprocess.run(["/usr/bin/time", "-v"] + command, check=True, stdout=out,
                                stderr=subprocess.PIPE, text=True, env=env)
    for line in result.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.rsplit(":", 1)[1]) / 1024.0
    raise SystemExit("no peak resident set in the output of /usr/bin/time -v")


def write_random(path, mib):
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(os.urandom(MIB))


class Bench:
    """A work folder with the keys of both tools and one plain file, and the cases run there:
    each a command, the output it writes (made durable after it, removed before it), and what
    it runs with."""

    def __init__(self, vantry, folder):
        self.v = vantry
        self.work = tempfile.mkdtemp(dir=folder)
        p = self.p
        with open(p("key.hex"), "w") as f:
            f.write(os.urandom(32).hex())
        with open(p("key.txt"), "w") as f:
            f.write(os.urandom(8).hex())
        subprocess.run(["age-keygen", "-o", p("age.id")], check=True, capture_output=True)
        age_recipient = subprocess.run(["age-keygen", "-y", p("age.id")], check=True,
                                       capture_output=True, text=True).stdout.strip()
        self.env = dict(os.environ, XDG_DATA_HOME=p("data"), BENCH_PASS="bench passphrase")
        ours = subprocess.run([vantry, "keygen", p("v.id")], check=True, capture_output=True,
                              text=True, env=self.env).stdout.strip()
        v, key, text_key = vantry, ["--key-hex-file", p("key.hex")], ["--key-file", p("key.txt")]
        self.cases = {
            # name: (command, output durable and removed, file standing for stdout)
            "seal raw": ([v, "seal"] + key + [p("plain"), p("v.vts")], "v.vts", None),
            "unseal raw": ([v, "unseal"] + key + [p("v.vts"), p("v.out")], "v.out", None),
            "seal": ([v, "seal", "--recipient", ours, "--account-secret", p("plain"),
                      p("r.vts")], "r.vts", None),
            "unseal": ([v, "unseal", "--identity", p("v.id"), p("r.vts"), p("r.out")], "r.out",
                       None),
            "age -e": (["age", "-e", "-r", age_recipient, "-o", p("a.age"), p("plain")], "a.age",
                       None),
            "age -d": (["age", "-d", "-i", p("age.id"), "-o", p("a.out"), p("a.age")], "a.out",
                       None),
            "cat": (["cat", p("plain")], None, "c.out"),
            "durable copy": (["cp", p("plain"), p("copy")], "copy", None),
            "save": ([v, "save"] + text_key + [p("plain"), p("v.vty")], "v.vty", None),
            "load": ([v, "load"] + text_key + [p("v.vty"), p("v.load")], "v.load", None),
        }

    def p(self, name):
        return os.path.join(self.work, name)

    def plain(self, mib):
        write_random(self.p("plain"), mib)

    def _clear(self, name):
        for f in self.cases[name][1:]:
            if f and os.path.exists(self.p(f)):
                os.remove(self.p(f))

    def run(self, name):
        command, output, stdout = self.cases[name]
        self._clear(name)
        return timed(command, output and self.p(output), self.env, stdout and self.p(stdout))

    def medians(self, names, runs):
        """Each case's median time over runs, the cases alternating so that a busy machine
        slows them alike. A case that reads another's output (unseal, age -d) follows it."""
        times = {name: [] for name in names}
        for _ in range(runs):
            for name in names:
                times[name].append(self.run(name))
        return {name: statistics.median(t) for name, t in times.items()}

    def peak(self, name):
        command, _, stdout = self.cases[name]
        self._clear(name)
        return peak_rss_mib(command, self.env, stdout and self.p(stdout))

    def passphrase_cost(self, runs=5):
        v, p = self.v, self.p
        open(p("empty"), "wb").close()
        key = ["--key-hex-file", p("key.hex")]
        subprocess.run([v, "seal", "--force", "--key-env", "BENCH_PASS", p("empty"),
                        p("e-pass.vts")], check=True, env=self.env)
        subprocess.run([v, "seal", "--force"] + key + [p("empty"), p("e-raw.vts")], check=True,
                       env=self.env)
        return statistics.median(
            timed([v, "unseal", "--force", "--key-env", "BENCH_PASS", p("e-pass.vts"),
                   p("e.out")], env=self.env)
            - timed([v, "unseal", "--force"] + key + [p("e-raw.vts"), p("e.out")], env=self.env)
            for _ in range(runs))

    def remove(self):
        subprocess.run(["rm", "-rf", self.work])


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return {"cpu": model, "nproc": os.cpu_count(), "kernel": platform.release(),
            "age": subprocess.run(["age", "--version"], capture_output=True,
                                  text=True).stdout.strip()}


SWEPT = ["seal", "unseal", "age -e", "age -d", "cat", "durable copy"]


def sweep(args):
    result = {"machine": machine(), "runs": args.runs, "started": time.strftime(
        "%Y-%m-%d %H:%M UTC", time.gmtime()), "load before": os.getloadavg(), "dirs": {}}
    sizes = [int(s) for s in args.sizes.split(",")]
    for folder in args.dirs.split(","):
        bench = Bench(args.vantry, folder)
        rows = []
        for mib in sizes:
            bench.plain(mib)
            seconds = bench.medians(SWEPT, args.runs)
            peaks = {name: bench.peak(name) for name in SWEPT if name != "cat"}
            rows.append({"mib": mib, "seconds": seconds, "peak rss mib": peaks})
            print(f"{folder} {mib:4d} MiB  " + "  ".join(
                f"{name} {mib / s:7.1f} MiB/s" for name, s in seconds.items()), flush=True)
        result["dirs"][folder] = rows
        if folder == args.dirs.split(",")[-1]:
            result["passphrase seconds"] = bench.passphrase_cost()
        bench.remove()
    result["load after"] = os.getloadavg()
    for folder, rows in result["dirs"].items():
        s, peaks = rows[-1]["seconds"], rows[-1]["peak rss mib"]
        for ours, age in (("seal", "age -e"), ("unseal", "age -d")):
            print(f"{folder} {rows[-1]['mib']} MiB {ours}: {s[ours] / s[age]:.2f} x {age}, "
                  f"{s[ours] / s['cat']:.2f} x cat, {s[ours] / s['durable copy']:.2f} x the "
                  f"durable copy; peak RSS {min(r['peak rss mib'][ours] for r in rows):.1f} to "
                  f"{max(r['peak rss mib'][ours] for r in rows):.1f} MiB ({age} "
                  f"{peaks[age]:.1f} MiB at this size)")
    print(f"passphrase: {result['passphrase seconds'] * 1000:.0f} ms before the first byte")
    with open(args.json, "w") as f:
        json.dump(result, f, indent=1)
        f.write("\n")


def one_size(args):
    bench = Bench(args.vantry, args.dir)
    bench.plain(args.size_mib)
    median = bench.medians(["seal raw", "unseal raw", "age -e", "age -d", "seal", "unseal",
                            "cat", "save", "load", "durable copy"], args.runs)
    copy, cat = median["durable copy"], median["cat"]
    print(f"{args.size_mib} MiB, medians of {args.runs} runs (seconds; ratio = vantry / other)")
    for name, age in (("seal raw", "age -e"), ("unseal raw", "age -d"), ("seal", "age -e"),
                      ("unseal", "age -d")):
        ours = median[name]
        print(f"  {name:10s} vantry {ours:6.3f}  age {median[age]:6.3f}  ratio "
              f"{ours / median[age]:4.2f}  cat ratio {ours / cat:4.2f}  durable copy "
              f"{copy:6.3f}  ratio {ours / copy:4.2f}")
    for name in ("save", "load"):
        ours = median[name]
        print(f"  {name:10s} vantry {ours:6.3f}  durable copy {copy:6.3f}  ratio {ours / copy:4.2f}")
    bench.plain(args.rss_mib)
    print(f"  peak RSS for {args.rss_mib} MiB: seal {bench.peak('seal raw'):.1f} MiB, unseal "
          f"{bench.peak('unseal raw'):.1f} MiB")
    print(f"  PBKDF2-HMAC-SHA256, 600,000 iterations: {bench.passphrase_cost() * 1000:.0f} ms")
    bench.remove()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--vantry", default="build/release/tools/vantry/vantry")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--rss-mib", type=int, default=1024)
    parser.add_argument("--dir", default=None)
    parser.add_argument("--sweep", action="store_true")
    parser.add_argument("--sizes", default="1,2,4,8,16,32,64,128,256")
    parser.add_argument("--dirs", default="/dev/shm,/var/tmp")
    parser.add_argument("--json", default="sealed-sweep.json")
    args = parser.parse_args()
    args.vantry = os.path.abspath(args.vantry)
    sweep(args) if args.sweep else one_size(args)


if __name__ == "__main__":
    main()
