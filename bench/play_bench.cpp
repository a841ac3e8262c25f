// brindle_play_bench [MEGABYTES] [RUNS]: the time brindle-check --play takes
// on the playable form of the realistic script (1 MB unless given): the
// whole play of 10,000 entries (conversion, loading in Lua, the entries
// and their steps), and beside it a play of one entry, which is the
// conversion and the load alone. Medians of RUNS runs (7 unless given), in
// this process, of the time and of the processor time; nothing is written.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "play.h"
#include "script_generator.h"

namespace {

struct Figure {
  double milliseconds = 0;
  double cpuMilliseconds = 0;  // of this process: a busy machine stretches the other
  brindle::check::PlayReport report;
};

Figure median(const std::string& script, std::size_t steps, int runs) {
  brindle::check::PlayOptions options;
  options.steps = steps;
  std::vector<double> times;
  std::vector<double> cpuTimes;
  Figure figure;
  for (int k = 0; k < runs; ++k) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    figure.report = brindle::check::playScript(script, options);
    cpuTimes.push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  figure.milliseconds = times[times.size() / 2];
  figure.cpuMilliseconds = cpuTimes[cpuTimes.size() / 2];
  return figure;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::strtod(argv[1], nullptr) : 1;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  const std::string script = brindle::bench::generatePlayable(static_cast<std::size_t>(megabytes * 1e6), 1);
  std::printf("brindle-check --play on a playable realistic script of %.1f MB (%d runs, medians)\n",
              static_cast<double>(script.size()) / 1e6, runs);
  for (const std::size_t steps : {std::size_t{1}, brindle::check::kDefaultPlaySteps}) {
    const Figure figure = median(script, steps, runs);
    std::printf("  %6zu entries: %7.1f ms (%.1f ms of processor time), %zu steps; %s\n", steps,
                figure.milliseconds, figure.cpuMilliseconds, figure.report.steps.size(),
                figure.report.end.message.c_str());
  }
  return 0;
}
