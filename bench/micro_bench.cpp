// Micro-benchmarks of the conversion's hot operations, so that the effect of
// a change shows without running the whole program. Inputs are typical
// statement lines and chains of the shapes brindle_generate writes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "convert/chain.h"
#include "convert/line.h"
#include "convert/records.h"
#include "convert/rewrite.h"
#include "convert/shortcut.h"
#include "text/string_utils.h"

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

// The driver's per-line steps before the rules: normalisation and the words.
void BM_normaliseLineAndSplitWords(benchmark::State& state) {
  const std::vector<std::string> raw = {
      "        e \"You remember the river, the café and the quiet door?\"",
      "    $ affection_3 += 5", "    call show_text (is_h=True)", "        if coins_2 >= 7:"};
  std::string line;
  brindle::Words words;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const std::string& r : raw) {
      brindle::normaliseLine(r, line);
      brindle::splitWords(line, words);
      benchmark::DoNotOptimize(words.count);
      bytes += r.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_normaliseLineAndSplitWords);

void BM_rewriteStatement(benchmark::State& state) {
  std::vector<std::vector<std::string>> tokens(kLines.size());
  for (std::size_t i = 0; i < kLines.size(); ++i) brindle::splitOn(kLines[i], tokens[i], ' ');
  brindle::VariableNames variables;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kLines.size(); ++i) {
      ScriptLine line = brindle::rewriteStatement(kLines[i], tokens[i], variables, nullptr);
      benchmark::DoNotOptimize(line.text.data());
      bytes += kLines[i].size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_rewriteStatement);

// The one-pass rewrite most lines take instead of the steps above, on lines
// of the shapes it takes: plain, chain, `$`, `call` and `path_end`.
void BM_shortcutStatement(benchmark::State& state) {
  const std::vector<std::string> raw = {
      "        e \"You remember the river, the market and the quiet door?\"",
      "        if coins_2 >= 7:", "        elif trust_4 == 0:", "    else:",
      "    $ affection_3 += 5",   "    $ mood_1 = False",        "    call show_text (3)",
      "    jump_out scene_12",    "    path_end"};
  std::vector<bool> plain;
  for (const std::string& r : raw) plain.push_back(brindle::PlainLineFinder(r).isPlain(r));
  ScriptLine statement;
  bool mayHoldPathEnd = true;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
      benchmark::DoNotOptimize(
          brindle::shortcutStatement(raw[i], plain[i], statement, mayHoldPathEnd));
      bytes += raw[i].size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_shortcutStatement);

// A block of `chains` chains, each `if` with a two-line body, a nested chain
// and an `else`, as the writer hands them over.
LabelBlock chainBlock(int chains) {
  LabelBlock block;
  for (int i = 0; i < chains; ++i) {
    block.lines.push_back({"\tif coins > 3 then", 1, brindle::kOpensChain});
    block.lines.push_back({"\t\te \"You can afford the ferry.\"", 2, brindle::kPlainStatement});
    block.lines.push_back({"\t\tif trust == 2 then", 2, brindle::kOpensChain});
    block.lines.push_back({"\t\t\tpath_end", 3, brindle::kPlainStatement});
    block.lines.push_back({"\telse", 1, brindle::kContinuesChain});
    block.lines.push_back({"\t\t coins = coins -  1", 2, brindle::kPlainStatement});
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
