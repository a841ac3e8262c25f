// Micro-benchmarks of the conversion's hot operations, so that the effect of
// a change shows without running the whole program. Inputs are typical
// statement lines and chains of the shapes brindle_generate writes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "chain.h"
#include "normalise.h"
#include "plain_forms.h"
#include "scan.h"
#include "words.h"
#include "records.h"
#include "rewrite.h"
#include "string_utils.h"
#include "walk.h"

namespace {

using brindle::LabelBlock;
using brindle::ScriptLine;

const std::vector<std::string> kLines = {
    "\te \"You remember the river, the café and the quiet door?\"",
    "\t$ affection_3 += 5",
    "\tcall show_text(is_h=True)",
    "\t\tif coins_2 >= 7:",
    "\tjump_out scene_812",
    "\t\telif trust != 3:",
    "\tpath_end",
};

void BM_replaceAllNoHit(benchmark::State& state) {
  std::string line = kLines[0];
  for (auto _ : state) {
    brindle::replaceAll(line, "is_end=False", "false");
    benchmark::DoNotOptimize(line.data());
  }
}
BENCHMARK(BM_replaceAllNoHit);

void BM_replaceAllHits(benchmark::State& state) {
  for (auto _ : state) {
    std::string line = "\t$ a += 1; b += 2; c += 3";
    brindle::replaceAll(line, "+=", "+= ");
    benchmark::DoNotOptimize(line.data());
  }
}
BENCHMARK(BM_replaceAllHits);

void BM_replaceAllWholeText(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text.append("\n\tfunction() \tpath_end; end,");
  for (auto _ : state) {
    std::string copy = text;
    brindle::replaceAll(copy, "path_end;", "path_end();");
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_replaceAllWholeText);

void BM_splitOn(benchmark::State& state) {
  std::vector<std::string> pieces;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& line : kLines) {
      benchmark::DoNotOptimize(brindle::splitOn(line, pieces, ' '));
      bytes += line.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_splitOn);

// One statement through every step of its line: the scan for triggers, the
// normalisation, the words and the rules, for each shape a script holds.
const std::vector<std::string> kStatements = {
    "        e \"You remember the river, the market and the quiet door?\"",
    "        if coins_2 >= 7:", "        elif trust_4 == 0:", "    else:",
    "    $ affection_3 += 5",   "    $ mood_1 = False",        "    call show_text (3)",
    "    jump_out scene_12",    "    path_end"};

void BM_statement(benchmark::State& state) {
  const std::string& raw = kStatements[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(raw.substr(raw.find_first_not_of(' '), 12));
  ScriptLine statement;
  brindle::Words words;
  for (auto _ : state) {
    brindle::ScannedLine line;
    brindle::ScriptLines(raw).next(line);
    const brindle::Normalised normalised =
        brindle::normaliseLine(line.text, line.triggers, statement.text);
    words.reset(statement.text, normalised.leadingTabs,
                line.blanksOnly && (line.triggers & brindle::kBlankRunTrigger) == 0);
    brindle::rewriteStatement(words, normalised.triggers, statement, nullptr);
    benchmark::DoNotOptimize(statement.text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw.size()));
}
BENCHMARK(BM_statement)->DenseRange(0, 8);

// The walk over a script whose lines are the shapes above, every line
// read once into the statement it hands on.
void BM_walkScript(benchmark::State& state) {
  std::string script = "label start:\n";
  for (int i = 0; i < 1000; ++i) {
    for (const std::string& raw : kStatements) script.append(raw).push_back('\n');
  }
  for (auto _ : state) {
    std::size_t bytes = 0;
    brindle::walkScript(script, [&bytes](const brindle::Statement& statement) { bytes += statement.lua.text.size(); });
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * script.size()));
}
BENCHMARK(BM_walkScript);

// A block of `chains` chains, each `if` with a two-line body, a nested chain
// and an `else`, as the writer hands them over.
LabelBlock chainBlock(int chains) {
  LabelBlock block;
  for (int i = 0; i < chains; ++i) {
    block.lines.push_back({"\tif coins > 3 then", 1, brindle::ChainFlag::opensChain});
    block.lines.push_back({"\t\te \"You can afford the ferry.\"", 2, brindle::ChainFlag::plainStatement});
    block.lines.push_back({"\t\tif trust == 2 then", 2, brindle::ChainFlag::opensChain});
    block.lines.push_back({"\t\t\tpath_end", 3, brindle::ChainFlag::plainStatement});
    block.lines.push_back({"\telse", 1, brindle::ChainFlag::continuesChain});
    block.lines.push_back({"\t\t coins = coins -  1", 2, brindle::ChainFlag::plainStatement});
  }
  return block;
}

void BM_buildConditionalBlock(benchmark::State& state) {
  const LabelBlock block = chainBlock(1000);
  std::string out;
  for (auto _ : state) {
    out.clear();
    for (std::size_t k = 0; k < block.lines.size();) {
      brindle::buildConditionalBlock(block, k, out);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * block.lines.size()));
}
BENCHMARK(BM_buildConditionalBlock);

}  // namespace

BENCHMARK_MAIN();
