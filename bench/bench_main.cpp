// brindle_bench: times the brindle executable on generated scripts and prints
// tables: for realistic scripts of several sizes, brindle, `cat` and a
// line-wrapping awk one-liner on the same file in paired rounds, with the
// ratios of their times taken within each round; the peak memory on scripts
// whose every `$` line names a new variable; for each hostile shape, two sizes
// ten times apart and the ratio of their times. Figures only: nothing here
// passes or fails on speed.
//
//   brindle_bench --brindle PATH [--baseline PATH] [--check PATH]
//                 [--sizes 1,10,100] [--runs 6] [--memory 40,30]
//                 [--hostile 10] [--dir DIR] [--seed 1] [--pause 0]
// Sizes are in megabytes (10^6 bytes). --runs gives the runs of each table,
// the rounds of the realistic one. --baseline names an older executable:
// the realistic and memory tables then set it beside the new one, the two
// taking turns on the same scripts. --memory gives the sizes of the
// `variables` and `mixed` scripts of the memory table (0 skips one; a single
// 0 skips the table); --hostile gives the smaller size of the hostile pairs
// (0 skips them). --check names brindle-check, timed on the realistic
// scripts beside `luac5.4 -p` on the same output.lua. The scripts go to a folder on /dev/shm when there is one,
// so that writing them back to a disk does not blur the times; --dir names
// another. --pause gives the seconds of quiet before each run of the
// realistic tables, as an author runs brindle a while after an edit: in a
// virtual machine that hands the memory freed back to its host, a program
// that then asks for fresh memory waits while the host fetches it again,
// which back-to-back runs never show.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "decode.h"
#include "large_buffer.h"
#include "parts.h"
#include "script_generator.h"

namespace {

namespace fs = std::filesystem;

struct Options {
  std::string brindle;
  std::string baseline;  // empty: no comparison
  std::string check;     // brindle-check; empty: not timed
  std::vector<double> sizes = {1, 10, 100};
  int runs = 6;  // six rounds of the realistic table balance its orders
  std::vector<double> memory = {40, 30};  // `variables` MB, `mixed` MB
  double hostile = 10;
  std::string dir;
  std::uint64_t seed = 1;
  double pause = 0;  // seconds before each run of the realistic tables
};

// Set by SIGINT, SIGTERM, SIGHUP and SIGPIPE (output piped to `head`), so
// that a stopped benchmark still removes its scripts: on /dev/shm they would
// hold memory until the next boot.
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

struct Run {
  double seconds = 0;
  long peakKiB = 0;
};

// Runs `argv` once in `dir` with standard output to `out` (standard error
// discarded); fails unless it exits with 0, or with 1 where `findsFaults`
// (a checker that found something). The child's peak counts what it
// inherits at fork(), so no caller holds a script in memory while it runs.
Run runOnce(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
            bool findsFaults = false) {
  if (stopRequested) throw std::runtime_error("stopped");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int nullFd = open("/dev/null", O_WRONLY);
    if (outFd < 0 || nullFd < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(outFd, 1);
    dup2(nullFd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) != pid) {
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (stopRequested) throw std::runtime_error("stopped");
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && !(findsFaults && WEXITSTATUS(status) == 1))) {
    throw std::runtime_error(argv[0] + " failed in " + dir);
  }
  return {seconds, usage.ru_maxrss};
}

// The quiet that --pause asks for before a run of the realistic tables.
void pauseBeforeRun(const Options& options) {
  if (options.pause > 0) std::this_thread::sleep_for(std::chrono::duration<double>(options.pause));
}

struct Timing {
  double seconds = 0;    // median wall time
  double peakMiB = 0;    // largest peak resident set of the runs
};

Timing summarize(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  long peakKiB = 0;
  for (const Run& run : runs) peakKiB = std::max(peakKiB, run.peakKiB);
  return {runs[runs.size() / 2].seconds, static_cast<double>(peakKiB) / 1024};
}

Timing measure(const std::vector<std::string>& argv, const std::string& dir,
               const std::string& out, int runs, bool findsFaults = false) {
  std::vector<Run> results;
  for (int run = 0; run < runs; ++run) results.push_back(runOnce(argv, dir, out, findsFaults));
  return summarize(std::move(results));
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
}

bool sameBytes(const fs::path& a, const fs::path& b) {
  if (fs::file_size(a) != fs::file_size(b)) return false;
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 16), bb(1 << 16);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() ||
        std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) {
      return false;
    }
  }
  return true;
}

double megabytes(std::uintmax_t bytes) { return static_cast<double>(bytes) / 1e6; }

// Peak memory over the bytes read and written, both in MB.
double peakRatio(double peakMiB, double in, double out) { return peakMiB * 1.048576 / (in + out); }

// The median of `values`: the middle one, or the mean of the two middle ones.
double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// The programs of the realistic table, as roundOrder numbers them.
enum RealisticProgram { kBrindle, kAwk, kCat, kRealisticPrograms };

// The order in which round `round` runs the programs. Rounds come in pairs,
// the second running the first's order backwards, so that over any even
// number of rounds each program runs before and after each of the others
// equally often; each pair turns the order one place further, so that over
// six rounds each program runs first, in the middle and last twice.
std::vector<int> roundOrder(int round) {
  std::vector<int> order;
  for (int k = 0; k < kRealisticPrograms; ++k) order.push_back((k + round / 2) % kRealisticPrograms);
  if (round % 2 == 1) std::reverse(order.begin(), order.end());
  return order;
}

// brindle, the awk one-liner and cat on the same realistic scripts, in paired
// rounds: each round runs the three once (roundOrder), and the ratios are
// taken within the round, so that a slow moment of the machine slows all
// three alike instead of one program's block of runs.
void realisticTable(const Options& options) {
  std::printf(
      "Realistic scripts, brindle, awk and cat in %d paired rounds (each round runs the three, "
      "in an order turning\nand reversing from round to round; medians of the rounds' times and "
      "of the ratios within each round;\npeak: brindle's largest; MB = 10^6 bytes, MiB = 2^20 bytes)\n",
      options.runs);
  if (options.pause > 0) std::printf("each run %.1f s after the one before\n", options.pause);
  std::printf("%8s %8s %9s %8s %9s %9s %9s %8s %9s %8s %8s\n", "input", "output", "brindle",
              "MB/s", "peak", "peak/", "awk", "awk", "cat", "awk/", "brindle/");
  std::printf("%8s %8s %9s %8s %9s %9s %9s %8s %9s %8s %8s\n", "MB", "MB", "s", "", "MiB",
              "(in+out)", "s", "MB/s", "s", "brindle", "cat");
  for (const double size : options.sizes) {
    const fs::path dir = fs::path(options.dir) / "realistic";
    fs::create_directories(dir);
    writeFile(dir / "test.py", brindle::bench::generateRealistic(
                                   static_cast<std::size_t>(size * 1e6), options.seed));
    const std::string out = (dir / "reference.out").string();
    const std::vector<std::string> argvs[kRealisticPrograms] = {
        {options.brindle},
        {"awk", "{print \"\\tfunction() \" $0 \"; end,\"}", "test.py"},
        {"cat", "test.py"}};
    const std::string outs[kRealisticPrograms] = {"/dev/null", out, out};
    std::vector<double> seconds[kRealisticPrograms];
    std::vector<double> awkOverBrindle, brindleOverCat;
    long peakKiB = 0;
    for (int round = 0; round < options.runs; ++round) {
      double t[kRealisticPrograms] = {};
      for (const int program : roundOrder(round)) {
        pauseBeforeRun(options);
        const Run run = runOnce(argvs[program], dir, outs[program]);
        t[program] = run.seconds;
        seconds[program].push_back(run.seconds);
        if (program == kBrindle) peakKiB = std::max(peakKiB, run.peakKiB);
      }
      awkOverBrindle.push_back(t[kAwk] / t[kBrindle]);
      brindleOverCat.push_back(t[kBrindle] / t[kCat]);
    }
    const double in = megabytes(fs::file_size(dir / "test.py"));
    const double lua = megabytes(fs::file_size(dir / "output.lua"));
    const double brindle = median(seconds[kBrindle]), awk = median(seconds[kAwk]);
    const double peakMiB = static_cast<double>(peakKiB) / 1024;
    std::printf("%8.1f %8.1f %9.4f %8.0f %9.1f %9.2f %9.4f %8.0f %9.4f %8.2f %8.2f\n", in, lua,
                brindle, in / brindle, peakMiB, peakRatio(peakMiB, in, lua), awk, in / awk,
                median(seconds[kCat]), median(awkOverBrindle), median(brindleOverCat));
    std::fflush(stdout);
    fs::remove_all(dir);
  }
}

// brindle-check on the realistic scripts, beside the obvious alternative,
// `luac5.4 -p` on the output.lua brindle writes. luac stops at the first
// line it cannot load, so on a file that does not load its time covers only
// the text before it; the column says where it stopped.
void checkTable(const Options& options) {
  std::printf("brindle-check on realistic scripts (median of %d runs; MB = 10^6 bytes)\n",
              options.runs);
  std::printf("%8s %8s %9s %8s %9s %9s %8s %9s %10s\n", "input", "output", "check", "MB/s",
              "peak", "luac5.4", "MB/s", "luac", "findings");
  std::printf("%8s %8s %9s %8s %9s %9s %8s %9s %10s\n", "MB", "MB", "s", "(output)", "MiB",
              "-p s", "(output)", "stops at", "");
  for (const double size : options.sizes) {
    const fs::path dir = fs::path(options.dir) / "checked";
    fs::create_directories(dir);
    writeFile(dir / "test.py", brindle::bench::generateRealistic(
                                   static_cast<std::size_t>(size * 1e6), options.seed));
    runOnce({options.brindle}, dir.string(), "/dev/null");
    const std::string report = (dir / "report.txt").string();
    const Timing check = measure({"sh", "-c", "exec \"$0\" 2>report.txt", options.check}, dir.string(),
                                 "/dev/null", options.runs, true);
    const Timing luac = measure({"sh", "-c", "exec luac5.4 -p output.lua 2>luac.txt"}, dir.string(),
                                "/dev/null", options.runs, true);
    std::ifstream reportFile(report);
    std::string line, summary, luacError;
    while (std::getline(reportFile, line)) summary = line;
    std::ifstream luacFile(dir / "luac.txt");
    std::getline(luacFile, luacError);
    const std::size_t colon = luacError.find("output.lua:");
    const std::string stoppedAt =
        colon == std::string::npos ? "end" : "line " + luacError.substr(colon + 11, luacError.find(':', colon + 11) - colon - 11);
    const double in = megabytes(fs::file_size(dir / "test.py"));
    const double lua = megabytes(fs::file_size(dir / "output.lua"));
    const std::size_t count = summary.find(':') == std::string::npos ? 0 : summary.find(':') + 2;
    std::printf("%8.1f %8.1f %9.4f %8.0f %9.1f %9.4f %8.0f %9s   %s\n", in, lua, check.seconds,
                lua / check.seconds, check.peakMiB, luac.seconds, lua / luac.seconds,
                stoppedAt.c_str(), summary.substr(count).c_str());
    std::fflush(stdout);
    fs::remove_all(dir);
  }
}

// Writes `text` as test.py to `dir`/new, and to `dir`/old as well when there
// is a baseline, so that each executable has a folder of its own.
void writeScripts(const Options& options, const fs::path& dir, const std::string& text) {
  fs::create_directories(dir / "new");
  writeFile(dir / "new" / "test.py", text);
  if (options.baseline.empty()) return;
  fs::create_directories(dir / "old");
  writeFile(dir / "old" / "test.py", text);
}

struct Comparison {
  double in = 0, oldOut = 0, newOut = 0;  // MB
  Timing older, newer;
  bool sameOutput = true;
};

// The baseline and the new executable on the scripts writeScripts left in
// `dir`, in turns: the old one first in even rounds and the new one first in
// odd ones, so that neither always runs just after the other has warmed or
// cooled the caches and the processor's clock.
Comparison compareInTurns(const Options& options, const fs::path& dir) {
  std::vector<Run> older, newer;
  const auto runOld = [&] {
    pauseBeforeRun(options);
    older.push_back(runOnce({options.baseline}, (dir / "old").string(), "/dev/null"));
  };
  const auto runNew = [&] {
    pauseBeforeRun(options);
    newer.push_back(runOnce({options.brindle}, (dir / "new").string(), "/dev/null"));
  };
  for (int round = 0; round < options.runs; ++round) {
    if (round % 2 == 0) {
      runOld();
      runNew();
    } else {
      runNew();
      runOld();
    }
  }
  return {megabytes(fs::file_size(dir / "new" / "test.py")),
          megabytes(fs::file_size(dir / "old" / "output.lua")),
          megabytes(fs::file_size(dir / "new" / "output.lua")),
          summarize(std::move(older)),
          summarize(std::move(newer)),
          sameBytes(dir / "old" / "output.lua", dir / "new" / "output.lua")};
}

// A comparison of speed means little when the two do different work.
void noteDifferentOutputs(const Comparison& c) {
  if (!c.sameOutput) {
    std::printf("  (old and new output.lua differ: see bench/compare-outputs.sh)\n");
  }
}

void realisticComparisonTable(const Options& options) {
  std::printf(
      "Realistic scripts, old and new taking turns (median of %d runs each; MB = 10^6 "
      "bytes, MiB = 2^20 bytes)\n",
      options.runs);
  if (options.pause > 0) std::printf("each run %.1f s after the one before\n", options.pause);
  std::printf("%8s %8s %9s %9s %7s %9s %9s %9s %9s\n", "input", "output", "old", "new", "new/",
              "old", "new", "old peak/", "new peak/");
  std::printf("%8s %8s %9s %9s %7s %9s %9s %9s %9s\n", "MB", "MB", "median s", "median s", "old",
              "peak MiB", "peak MiB", "(in+out)", "(in+out)");
  for (const double size : options.sizes) {
    const fs::path dir = fs::path(options.dir) / "realistic";
    writeScripts(
        options, dir,
        brindle::bench::generateRealistic(static_cast<std::size_t>(size * 1e6), options.seed));
    const Comparison c = compareInTurns(options, dir);
    std::printf("%8.1f %8.1f %9.4f %9.4f %7.3f %9.1f %9.1f %9.2f %9.2f\n", c.in, c.newOut,
                c.older.seconds, c.newer.seconds, c.newer.seconds / c.older.seconds,
                c.older.peakMiB, c.newer.peakMiB, peakRatio(c.older.peakMiB, c.in, c.oldOut),
                peakRatio(c.newer.peakMiB, c.in, c.newOut));
    noteDifferentOutputs(c);
    std::fflush(stdout);
    fs::remove_all(dir);
  }
}

// Lines whose first word is `$`: in the scripts of the memory table each one
// names a variable no earlier line named.
std::size_t countDollarLines(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::size_t word = text.find_first_not_of(' ', start);
    if (word + 1 < end && text[word] == '$' && text[word + 1] == ' ') ++count;
    start = end + 1;
  }
  return count;
}

// Peak memory where the converter has the most names to remember: a script of
// nothing but `$ vN = 1` lines (2.7 million names in 40 MB) and a realistic
// story whose every `$` line names a new variable (0.15 million in 30 MB).
void memoryTable(const Options& options) {
  const bool compare = !options.baseline.empty();
  std::printf(
      "\nPeak memory (largest of %d runs%s; names = `$` lines, each naming a new variable)\n",
      options.runs, compare ? " each, old and new taking turns" : "");
  if (compare) {
    std::printf("%-10s %8s %9s %8s %9s %9s %9s %9s\n", "script", "input", "names", "output", "old",
                "new", "old peak/", "new peak/");
    std::printf("%-10s %8s %9s %8s %9s %9s %9s %9s\n", "", "MB", "", "MB", "peak MiB", "peak MiB",
                "(in+out)", "(in+out)");
  } else {
    std::printf("%-10s %8s %9s %8s %9s %9s\n", "script", "input", "names", "output", "peak",
                "peak/");
    std::printf("%-10s %8s %9s %8s %9s %9s\n", "", "MB", "", "MB", "MiB", "(in+out)");
  }
  const char* kinds[] = {"variables", "mixed"};
  for (std::size_t k = 0; k < 2; ++k) {
    const double size = options.memory[k];
    if (size <= 0) continue;
    const fs::path dir = fs::path(options.dir) / (std::string("memory-") + kinds[k]);
    std::size_t names = 0;
    {
      const auto bytes = static_cast<std::size_t>(size * 1e6);
      const std::string text = k == 0 ? brindle::bench::generateHostile(kinds[k], bytes)
                                      : brindle::bench::generateMixed(bytes, options.seed);
      names = countDollarLines(text);
      writeScripts(options, dir, text);
    }
    if (compare) {
      const Comparison c = compareInTurns(options, dir);
      std::printf("%-10s %8.1f %9zu %8.1f %9.1f %9.1f %9.2f %9.2f\n", kinds[k], c.in, names,
                  c.newOut, c.older.peakMiB, c.newer.peakMiB,
                  peakRatio(c.older.peakMiB, c.in, c.oldOut),
                  peakRatio(c.newer.peakMiB, c.in, c.newOut));
      noteDifferentOutputs(c);
    } else {
      const Timing brindle =
          measure({options.brindle}, (dir / "new").string(), "/dev/null", options.runs);
      const double in = megabytes(fs::file_size(dir / "new" / "test.py"));
      const double lua = megabytes(fs::file_size(dir / "new" / "output.lua"));
      std::printf("%-10s %8.1f %9zu %8.1f %9.1f %9.2f\n", kinds[k], in, names, lua, brindle.peakMiB,
                  peakRatio(brindle.peakMiB, in, lua));
    }
    std::fflush(stdout);
    fs::remove_all(dir);
  }
}

void hostileTable(const Options& options) {
  std::printf("\nHostile shapes (median of %d runs)\n", options.runs);
  std::printf("%-12s %8s %9s %9s %8s %9s %9s %11s\n", "shape", "1x MB", "1x s", "1x MiB", "10x MB",
              "10x s", "10x MiB", "t(10x)/t(1x)");
  for (const std::string_view kind : brindle::bench::hostileKinds()) {
    Timing timings[2];
    double sizes[2];
    for (int i = 0; i < 2; ++i) {
      const fs::path dir = fs::path(options.dir) / ("hostile-" + std::string(kind));
      fs::create_directories(dir);
      const double size = options.hostile * (i == 0 ? 1 : 10);
      writeFile(dir / "test.py",
                brindle::bench::generateHostile(kind, static_cast<std::size_t>(size * 1e6)));
      sizes[i] = megabytes(fs::file_size(dir / "test.py"));
      timings[i] = measure({options.brindle}, dir, "/dev/null", options.runs);
      fs::remove_all(dir);
    }
    std::printf("%-12s %8.1f %9.4f %9.1f %8.1f %9.4f %9.1f %11.2f\n", std::string(kind).c_str(),
                sizes[0], timings[0].seconds, timings[0].peakMiB, sizes[1], timings[1].seconds,
                timings[1].peakMiB, timings[1].seconds / timings[0].seconds);
    std::fflush(stdout);
  }
}

// A conversion timed in this process: its record, and its Lua text as the
// sink was handed it. The text's room is kept from one round to the next.
struct TimedConversion {
  brindle::Conversion result;
  std::string lua;
};

// Seconds that convertInParts takes on `script` in at most `parts` parts (0:
// the parts it chooses). The text goes to a sink piece by piece, as brindle
// hands it to output.lua, and gathers in `timed.lua`: after the first round
// into memory already written, so that the clock does not count the page
// faults of a text grown from nothing, which brindle never holds.
double timeConversion(std::string_view script, std::size_t parts, TimedConversion& timed) {
  timed.result = brindle::Conversion();
  timed.lua.clear();
  const auto start = std::chrono::steady_clock::now();
  brindle::convertInParts(script, timed.result, [&](std::string_view piece) {
    timed.lua.append(piece);
    return true;
  }, {}, parts);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool sameConversion(const TimedConversion& x, const TimedConversion& y) {
  const brindle::Conversion& a = x.result;
  const brindle::Conversion& b = y.result;
  if (x.lua != y.lua || a.lua != b.lua || a.console != b.console || a.textChanges != b.textChanges ||
      a.warnings.size() != b.warnings.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.warnings.size(); ++i) {
    if (a.warnings[i].line != b.warnings[i].line ||
        a.warnings[i].message != b.warnings[i].message) {
      return false;
    }
  }
  return true;
}

// The realistic script's first label block, its label renamed each time,
// repeated to `size` bytes: lines of the same kinds, lengths and names as
// the script's, in an order the processor learns, where the script's own
// order is as varied as a story's. A script of one block or none is
// given as it is.
std::string repeatedFirstBlock(std::string_view script, std::size_t size) {
  const std::size_t first = script.find("label ");
  const std::size_t body = first == std::string_view::npos ? first : script.find('\n', first);
  const std::size_t end = body == std::string_view::npos ? body : script.find("\nlabel ", body);
  if (end == std::string_view::npos) return std::string(script);
  const std::string_view block = script.substr(body, end - body);  // from the label line's line feed
  std::string repeated;
  for (std::size_t k = 0; repeated.size() < size; ++k) {
    repeated.append("label repeated_").append(std::to_string(k)).append(":").append(block).append("\n");
  }
  return repeated;
}

// The conversion alone, in this process, on the realistic scripts' text as
// brindle finds it in the file's bytes: in one part on one thread, and in
// the parts convertInParts chooses, on a thread each. The two take turns, and
// their ratio is taken within each round. Their results are compared once:
// a speed-up that changed the bytes would mean nothing. Beside them, the
// script's first block repeated to the same size, on one thread: the time a
// line takes where the processor foresees every branch of it, so that the
// share of the time that a story's variety costs is seen.
void conversionTable(const Options& options) {
  std::printf(
      "\nThe conversion in this process, one thread and all (%u processors here; %d rounds, "
      "the two taking turns;\nmedians of the rounds' times and of the ratio within each round; "
      "MB/s of input; repeated: the script's first\nblock repeated to the same size, one thread, "
      "right after the one on all in each round)\n",
      std::thread::hardware_concurrency(), options.runs);
  std::printf("%8s %9s %8s %9s %8s %8s %9s %9s\n", "input", "1 thread", "MB/s", "all", "MB/s", "all/1",
              "repeated", "1 thread/");
  std::printf("%8s %9s %8s %9s %8s %8s %9s %9s\n", "MB", "s", "", "s", "", "speed-up", "ns/line",
              "repeated");
  for (const double size : options.sizes) {
    const std::string bytes =
        brindle::bench::generateRealistic(static_cast<std::size_t>(size * 1e6), options.seed);
    std::string decoded;
    const brindle::ScriptText script = brindle::scriptText(bytes, decoded);
    if (!script.error.empty()) throw std::runtime_error("realistic script: " + script.error);
    const std::string repeated = repeatedFirstBlock(script.text, script.text.size());
    const auto lines = static_cast<double>(
        std::max<std::ptrdiff_t>(1, std::count(repeated.begin(), repeated.end(), '\n')));
    TimedConversion one, all, foreseen;
    std::vector<double> oneSeconds, allSeconds, sameSeconds, speedUps, varietyCosts;
    for (int round = 0; round < options.runs; ++round) {
      if (stopRequested) throw std::runtime_error("stopped");
      if (round % 2 == 0) oneSeconds.push_back(timeConversion(script.text, 1, one));
      allSeconds.push_back(timeConversion(script.text, 0, all));
      sameSeconds.push_back(timeConversion(repeated, 1, foreseen));
      if (round % 2 == 1) oneSeconds.push_back(timeConversion(script.text, 1, one));
      speedUps.push_back(oneSeconds.back() / allSeconds.back());
      varietyCosts.push_back(oneSeconds.back() / sameSeconds.back());
      if (round == 0 && !sameConversion(one, all)) {
        throw std::runtime_error("the conversion in parts differs from the one in one part");
      }
    }
    const double in = megabytes(script.text.size());
    const double oneMedian = median(oneSeconds), allMedian = median(allSeconds);
    std::printf("%8.1f %9.4f %8.0f %9.4f %8.0f %8.2f %9.1f %9.2f\n", in, oneMedian, in / oneMedian,
                allMedian, in / allMedian, median(speedUps), median(sameSeconds) / lines * 1e9,
                median(varietyCosts));
    std::fflush(stdout);
  }
}

std::vector<double> parseSizes(const char* text) {
  std::vector<double> sizes;
  for (char* end = nullptr;; text = end + 1) {
    sizes.push_back(std::strtod(text, &end));
    if (*end != ',') break;
  }
  return sizes;
}

// A new folder for the scripts and outputs, in /dev/shm when there is one
// (else the temporary folder) or in `base`; removed at the end, on failure too.
class ScratchFolder {
 public:
  explicit ScratchFolder(fs::path base) {
    if (base.empty()) {
      base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    }
    fs::create_directories(base);
    std::string pattern = (base / "brindle-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a folder in " + base.string());
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

constexpr const char* kUsage =
    "usage: brindle_bench --brindle PATH [--baseline PATH] [--check PATH] [--sizes 1,10,100]\n"
    "                     [--runs 6]\n"
    "                     [--memory 40,30] [--hostile 10] [--dir DIR] [--seed 1] [--pause 0]\n";

}  // namespace

int main(int argc, char** argv) {
  // The conversion timed in this process has the C library's blocks kept as
  // brindle keeps them; the programs it runs set up their own.
  brindle::keepSmallBlocksOnHugePages();
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--brindle") options.brindle = fs::absolute(value).string();
    else if (flag == "--baseline") options.baseline = fs::absolute(value).string();
    else if (flag == "--check") options.check = fs::absolute(value).string();
    else if (flag == "--sizes") options.sizes = parseSizes(value);
    else if (flag == "--runs") options.runs = std::max(1, std::atoi(value));
    else if (flag == "--memory") options.memory = parseSizes(value);
    else if (flag == "--hostile") options.hostile = std::strtod(value, nullptr);
    else if (flag == "--dir") options.dir = fs::absolute(value).string();
    else if (flag == "--seed") options.seed = std::strtoull(value, nullptr, 10);
    else if (flag == "--pause") options.pause = std::max(0.0, std::strtod(value, nullptr));
    else {
      std::fprintf(stderr, "brindle_bench: unknown option %s\n%s", flag.c_str(), kUsage);
      return 2;
    }
  }
  if (options.brindle.empty() || argc % 2 == 0 || options.memory.size() > 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options.memory.size() == 1) options.memory.push_back(options.memory[0]);
  for (const std::string& program : {options.brindle, options.baseline, options.check}) {
    if (!program.empty() && access(program.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "brindle_bench: %s is not an executable\n", program.c_str());
      return 2;
    }
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, requestStop);
  try {
    const ScratchFolder folder(options.dir);
    options.dir = folder.path().string();
    if (!options.baseline.empty()) {
      std::printf("old: %s\nnew: %s\n", options.baseline.c_str(), options.brindle.c_str());
    }
    std::printf("scripts in %s\n\n", options.dir.c_str());
    if (options.baseline.empty()) {
      realisticTable(options);
    } else {
      realisticComparisonTable(options);
    }
    if (!options.check.empty()) {
      std::printf("\n");
      checkTable(options);
    }
    if (options.memory[0] > 0 || options.memory[1] > 0) memoryTable(options);
    if (options.hostile > 0) hostileTable(options);
    // Last: the memory the conversion takes in this process would count in
    // the peak of every program forked after it.
    conversionTable(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brindle_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
