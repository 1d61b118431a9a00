// vantry_stress: what a host sees when several processes share one protected file, and when a
// process dies in the middle of a save.
//
//   vantry_stress [--processes N] [--seconds S] [--kills K] [--large-mib M] [--dir PATH]
//
// Race: N processes save and load one file for S seconds. Every load must return one complete
// saved version or fail with a FileError (another process holds the file); anything else, or a
// block that mixes versions, counts as a lost file. Kills: K times a child saving an M MiB file
// is killed with SIGKILL part way; the file must then load as a complete version, and the next
// save must leave no temporary file beside it. Prints its figures and exits 1 when any file was
// lost or a temporary survived.
#ifndef _WIN32

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "stress_versions.h"
#include "vantry/file_error.h"
#include "vantry/vantry.h"

namespace {

using vantry::stress::CheckLoaded;
using vantry::stress::VersionData;

const char kKey[] = "stress key text!";

struct Tally {
  long saves = 0;
  long loads = 0;
  long busy = 0;  // FileError: another process held the file
  long lost = 0;  // a load that was neither a complete version nor a FileError
};

struct Options {
  int processes = 4;
  int seconds = 10;
  int kills = 12;
  int largeMib = 16;
  std::string dir;
};

void Save(const std::string& name, std::uint32_t version, std::uint32_t length) {
  const std::vector<unsigned char> data = VersionData(version, length);
  SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), name.c_str(), kKey);
}

// Loads name; "" when it gave a complete version, "busy" for a FileError, else what was wrong.
std::string Load(const std::string& name) {
  std::int32_t length = -1;
  unsigned char* block = nullptr;
  try {
    block = LoadVantryWithKey2(name.c_str(), &length, kKey);
  } catch (const vantry::FileError&) {
    return "busy";
  } catch (const std::exception& e) {
    return std::string("load failed: ") + e.what();
  }
  const std::string verdict = CheckLoaded(block, length);
  FreeVantryBuffer(block);
  return verdict;
}

std::vector<std::string> Temporaries(const std::string& dir, const std::string& keep) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != ".." && n != keep) {
        names.push_back(n);
      }
    }
    ::closedir(d);
  }
  return names;
}

Tally RaceChild(const std::string& name, int index, int seconds) {
  Tally t;
  std::mt19937 rng(static_cast<unsigned>(index) * 7919u + static_cast<unsigned>(::getpid()));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::uint32_t version = static_cast<std::uint32_t>(index) << 24;
  while (std::chrono::steady_clock::now() < end) {
    if (rng() % 2 == 0) {
      // Sizes around the chunk and write-buffer boundaries and well past them.
      static const std::uint32_t kSizes[] = {16, 17, 383, 384, 385, 1025, 65535, 65536, 200001};
      try {
        Save(name, ++version, kSizes[rng() % (sizeof kSizes / sizeof kSizes[0])]);
        ++t.saves;
      } catch (const vantry::FileError&) {
        ++t.busy;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "process %d: save failed: %s\n", index, e.what());
        ++t.lost;
      }
    } else {
      const std::string verdict = Load(name);
      if (verdict == "busy") {
        ++t.busy;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      } else if (!verdict.empty()) {
        std::fprintf(stderr, "process %d: %s\n", index, verdict.c_str());
        ++t.lost;
      } else {
        ++t.loads;
      }
    }
  }
  return t;
}

// Forks the racing processes and adds up what they report through a pipe.
bool Race(const Options& o, Tally* total) {
  // A folder of its own, so anything left beside the file shows.
  const std::string folder = o.dir + "/race";
  ::mkdir(folder.c_str(), 0700);
  const std::string name = folder + "/shared file.vantry";
  Save(name, 0, 1000);
  int fds[2];
  if (::pipe(fds) != 0) {
    std::perror("pipe");
    return false;
  }
  std::vector<pid_t> children;
  for (int i = 0; i < o.processes; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      const Tally t = RaceChild(name, i + 1, o.seconds);
      char line[128];
      const int n =
          std::snprintf(line, sizeof line, "%ld %ld %ld %ld\n", t.saves, t.loads, t.busy, t.lost);
      const bool written = ::write(fds[1], line, static_cast<std::size_t>(n)) == n;
      ::_exit(written ? 0 : 3);
    }
    children.push_back(pid);
  }
  ::close(fds[1]);
  std::string reports;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    reports.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  bool ok = true;
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const char* p = reports.c_str();
  for (Tally t; std::sscanf(p, "%ld %ld %ld %ld", &t.saves, &t.loads, &t.busy, &t.lost) == 4;) {
    total->saves += t.saves;
    total->loads += t.loads;
    total->busy += t.busy;
    total->lost += t.lost;
    p = std::strchr(p, '\n') + 1;
  }
  const std::string last = Load(name);
  if (!last.empty()) {
    std::fprintf(stderr, "after the race: %s\n", last.c_str());
    ++total->lost;
  }
  const auto left = Temporaries(folder, "shared file.vantry");
  for (const auto& t : left) {
    std::fprintf(stderr, "after the race: temporary file left: %s\n", t.c_str());
  }
  return ok && left.empty();
}

struct KillTally {
  int kills = 0;
  int lost = 0;
  int temporariesAfterKill = 0;  // what the killed saves left
  int temporariesAfterSave = 0;  // what the next save did not clean up
};

bool Kills(const Options& o, KillTally* k) {
  const std::string folder = o.dir + "/kills";
  ::mkdir(folder.c_str(), 0700);
  const std::string name = folder + "/large file.vantry";
  const std::uint32_t large = static_cast<std::uint32_t>(o.largeMib) << 20;
  Save(name, 1, large);
  // One save's duration bounds the moment of the kill.
  const auto start = std::chrono::steady_clock::now();
  Save(name, 2, large);
  const auto saveTime = std::chrono::steady_clock::now() - start;
  const auto saveMicros =
      std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count() + 1;
  std::mt19937 rng(12345);
  for (int round = 0; round < o.kills; ++round) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (std::uint32_t v = 100 + static_cast<std::uint32_t>(round) * 1000;; ++v) {
        Save(name, v, large - (v % 3) * 17);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % saveMicros));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ++k->kills;
    const std::string verdict = Load(name);
    if (!verdict.empty()) {
      std::fprintf(stderr, "kill %d: %s\n", round + 1, verdict.c_str());
      ++k->lost;
    }
    k->temporariesAfterKill += static_cast<int>(Temporaries(folder, "large file.vantry").size());
    Save(name, 3, 4096);
    const auto left = Temporaries(folder, "large file.vantry");
    for (const auto& t : left) {
      std::fprintf(stderr, "kill %d: temporary file left after the next save: %s\n", round + 1,
                   t.c_str());
    }
    k->temporariesAfterSave += static_cast<int>(left.size());
    Save(name, 4 + static_cast<std::uint32_t>(round), large);
  }
  return k->lost == 0 && k->temporariesAfterSave == 0;
}

int Number(const char* text) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < 0 || v > 100000) {
    std::fprintf(stderr, "vantry_stress: not a count: %s\n", text);
    std::exit(2);
  }
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr,
                   "usage: vantry_stress [--processes N] [--seconds S] [--kills K] "
                   "[--large-mib M] [--dir PATH]\n");
      return 2;
    }
    const char* v = argv[++i];
    if (a == "--processes") {
      o.processes = Number(v);
    } else if (a == "--seconds") {
      o.seconds = Number(v);
    } else if (a == "--kills") {
      o.kills = Number(v);
    } else if (a == "--large-mib") {
      o.largeMib = Number(v);
    } else if (a == "--dir") {
      o.dir = v;
    } else {
      std::fprintf(stderr, "vantry_stress: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  std::string made;
  if (o.dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vantry-stress-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
      std::perror("mkdtemp");
      return 2;
    }
    o.dir = made = pattern;
  }

  Tally race;
  const bool raceOk = Race(o, &race);
  std::printf("race: %d processes, %d s, %ld saves, %ld loads, %ld refused while busy\n",
              o.processes, o.seconds, race.saves, race.loads, race.busy);
  KillTally kills;
  const bool killsOk = Kills(o, &kills);
  std::printf(
      "kills: %d saves of %d MiB killed with SIGKILL, %d temporary file(s) left by them, "
      "%d left after the next save\n",
      kills.kills, o.largeMib, kills.temporariesAfterKill, kills.temporariesAfterSave);
  const long lost = race.lost + kills.lost;
  std::printf("processes: %d, iterations: %ld, faults injected: %d, files lost: %ld\n",
              o.processes + kills.kills, race.saves + race.loads + race.busy, kills.kills, lost);

  if (!made.empty()) {
    for (const char* sub : {"/race", "/kills"}) {
      const std::string folder = made + sub;
      for (const auto& n : Temporaries(folder, "")) {
        ::unlink((folder + "/" + n).c_str());
      }
      ::rmdir(folder.c_str());
    }
    ::rmdir(made.c_str());
  }
  return raceOk && killsOk && lost == 0 ? 0 : 1;
}

#else
int main() { return 0; }
#endif
