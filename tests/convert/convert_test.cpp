// The whole conversion: the same bytes whether a script is converted whole,
// cut into parts on threads of their own, or handed on in pieces of any
// size, and exactly what writing the records of the plain reading gives.
#include "parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decode.h"
#include "plain_forms.h"
#include "generated_lines.h"

namespace brindle {
namespace {

std::vector<std::string> warningsOf(const std::vector<Warning>& list) {
  std::vector<std::string> warnings;
  for (const Warning& w : list) warnings.push_back(std::to_string(w.line) + ": " + w.message);
  return warnings;
}

std::vector<std::string> warningsOf(const Script& script) { return warningsOf(script.warnings); }

TEST(ConvertScriptTest, EqualsWritingTheRecordsOfThePlainReading) {
  test::LineMaker maker(7);
  // Every third round groups the text at a small limit.
  const std::size_t limits[] = {kMostItemsPerFunction, 2, 5};
  for (int round = 0; round < 300; ++round) {
    const std::string input = maker.script(maker.below(40));
    const std::size_t limit = limits[round % 3];
    Conversion converted;
    convertScript(input, converted, {}, {std::size_t{1} << 20, limit});
    const Script script = readScript(input);
    std::string console;
    ASSERT_EQ(converted.lua,
              writeLuaOutput(script.labelBlocks, script.variableNames, console, limit))
        << "limit " << limit << ", input: " << input;
    ASSERT_EQ(converted.console, console);
    ASSERT_EQ(warningsOf(converted.warnings), warningsOf(script));
  }
}

TEST(ConvertScriptTest, SameInputGivesSameBytes) {
  const std::string input = "label R28:\n    if a:\n        x\n    y\n";
  Conversion first;
  Conversion second;
  convertScript(input, first);
  convertScript(input, second);
  EXPECT_EQ(first.lua, second.lua);
  EXPECT_EQ(first.console, "nadasnadas");
  EXPECT_EQ(second.console, "nadasnadas");
}

// Scripts whose `label` lines let a conversion cut them into several parts,
// with something in every part that depends on what came before: line
// numbers of warnings, announcements, variables first seen late, chains
// that end where a part ends.
const std::vector<std::string>& scriptsWithManyLabels() {
  static const std::vector<std::string> scripts = {
      "",
      "no label at all\n$ x = 1\n",
      "\xEF\xBB\xBFlabel hidden:\n$ a = 1\nlabel R28:\nx\ny\nlabel b:\njump_out\n",
      "label a:\n    if x:\n        y\nlabel R28:\n    if z:\n        w\n    else:\n"
      "        v\nlabel \nlabel c:\n$ late = 2\n    $ late += 1\nlabel R28:\nq",
      "label a:\r\n  $ b = True\r\nlabel d:\r\n\r\njump_out\r\nlabel e:\r\n"
      "label f:\r\n    path_end\r\n",
      "orphan\n\nlabel a:\nx\nlabel b:\n\tlabel c:\nlabel d:\n    if a:\n"
      "label e:\n        deep\nlabel R28:\n1\n2\n3\nlabel R28:\n4\nlabel g:\njump_out",
      // Four blanks become a tab, which joins "label" to the next word: only
      // "label" and one blank surely opens a block.
      "label R28:\nx\nif a:\n    y\nlabel    b\n    z\nlabel     c\nw\nlabel  d\n"
      "label        e\nlabel    \nv\nlabel R28:\nu",
      // Jumps to labels of later parts, and to none; labels defined again
      // in the same part and in later ones.
      "label a:\njump_out c\njump_out z\nlabel b:\nlabel a:\njump_out z\nlabel c:\nlabel a:\n"
      "jump_out b\nlabel c:\njump_out y\nlabel d:\njump_out z\nlabel b:\n",
  };
  return scripts;
}

TEST(ConvertScriptTest, PartsAndPiecesGiveTheWholeResult) {
  for (const std::string& input : scriptsWithManyLabels()) {
   const Script script = readScript(input);
   // Small limits group the text; a table is filled in pieces at 2.
   for (const std::size_t limit : {kMostItemsPerFunction, std::size_t{2}, std::size_t{4}}) {
    std::string console;
    const std::string lua =
        writeLuaOutput(script.labelBlocks, script.variableNames, console, limit);
    for (const std::size_t parts : {1, 2, 3, 8}) {
      for (const std::size_t pieceSize : {1, 40, 1 << 20}) {
        std::string received;
        std::size_t calls = 0;
        const LuaSink sink = [&](std::string_view piece) {
          received.append(piece);
          ++calls;
          return true;
        };
        Conversion result;
        EXPECT_TRUE(convertScript(input, result, sink, {pieceSize, limit}, parts));
        const std::string context =
            "parts " + std::to_string(parts) + ", pieces of " + std::to_string(pieceSize) +
            ", limit " + std::to_string(limit) + ", input: " + input;
        EXPECT_EQ(received + result.lua, lua) << context;
        EXPECT_EQ(result.console, console) << context;
        EXPECT_EQ(warningsOf(result.warnings), warningsOf(script)) << context;
        if (pieceSize == 1 && !script.labelBlocks.empty()) {
          EXPECT_GT(calls, 1u) << context;
        }

        // A sink that can start over may be handed the text on a guess of
        // the declarations, and once more where the guess fails.
        received.clear();
        std::size_t restarts = 0;
        Conversion guessed;
        const LuaRestart restart = [&](std::size_t replaced, std::string_view beginning) {
          received.replace(0, replaced, beginning);
          ++restarts;
          return true;
        };
        EXPECT_TRUE(convertScript(input, guessed, sink, {pieceSize, limit}, parts, nullptr, restart));
        EXPECT_EQ(received + guessed.lua, lua) << context;
        EXPECT_EQ(guessed.console, console) << context;
        EXPECT_LE(restarts, 2u) << context;

        Conversion kept;
        convertScript(input, kept, {}, {pieceSize, limit}, parts);
        EXPECT_EQ(kept.lua, lua) << context;

        // What the conversion says it has left behind is never read again:
        // wiped as it is told, it changes nothing.
        std::string decoded;
        std::string text(scriptText(input, decoded).text);
        std::atomic<std::size_t> told = 0;  // the parts tell from threads of their own
        const InputRelease wipe = [&](std::string_view read) {
          std::fill_n(text.data() + (read.data() - text.data()), read.size(), '\0');
          ++told;
        };
        // Each part is handed to be prepared once: together, the script.
        // The first part, prepared here, waits until the last is taken by a
        // thread of its own, which has converted the ones between by then:
        // what is read across the whole script must not be wiped meanwhile.
        std::mutex preparedMutex;
        std::condition_variable lastPrepared;
        std::vector<std::pair<std::size_t, std::size_t>> prepared;
        const InputPrepare prepare = [&](std::string_view part) {
          std::unique_lock<std::mutex> lock(preparedMutex);
          prepared.emplace_back(part.data() - text.data(), part.size());
          if (part.data() + part.size() == text.data() + text.size()) lastPrepared.notify_all();
          if (part.data() == text.data() && part.size() < text.size() && std::thread::hardware_concurrency() > 1) {
            lastPrepared.wait_for(lock, std::chrono::seconds(1), [&] {
              return std::any_of(prepared.begin(), prepared.end(), [&](const auto& p) {
                return p.first + p.second == text.size();
              });
            });
          }
        };
        Conversion wiped;
        convertInParts(text, wiped, {}, {pieceSize, limit}, parts, wipe, {}, prepare);
        EXPECT_EQ(wiped.lua, lua) << context;
        EXPECT_EQ(warningsOf(wiped.warnings), warningsOf(script)) << context;
        EXPECT_TRUE(text.empty() || told > 0) << context;
        std::sort(prepared.begin(), prepared.end());
        std::size_t covered = 0;
        for (const auto& [at, size] : prepared) {
          EXPECT_EQ(at, covered) << context;
          covered = at + size;
        }
        EXPECT_EQ(covered, text.size()) << context;
      }
    }
   }
  }
}

// A flat text starts over from its first byte; a grouped one (at a limit
// of 2) has its beginning written again in place of the first and keeps its
// tables, once where a part adds a variable and once more where another
// part adds one too.
TEST(ConvertScriptTest, GuessedDeclarationsStartOverWhereALaterPartAddsOne) {
  struct Case {
    std::string input;
    std::size_t limit;
    bool restartAnswer;
    std::size_t restarts;
    bool keepsTables;  // the restart keeps bytes taken
    bool accepted;
  };
  const std::string late = "label a:\n$ x = 1\nlabel b:\nz\nlabel c:\n$ y = 2\n";
  const Case cases[] = {
      {"label a:\n$ x = 1\nlabel b:\n$ x += 1\nlabel c:\ny\n", kMostItemsPerFunction, true, 0, false, true},
      {late, kMostItemsPerFunction, true, 1, false, true},
      {late, kMostItemsPerFunction, false, 1, false, false},
      {late, 2, true, 1, true, true},
      {late, 2, false, 1, true, false},
      {"label a:\n$ x = 1\nlabel b:\n$ y = 1\nlabel c:\nz\nlabel d:\n$ w = 1\nlabel e:\n$ x = 2\n", 2, true, 2,
       true, true},
  };
  for (const Case& c : cases) {
    const ConvertOptions options{ConvertOptions().pieceSize, c.limit};
    Conversion whole;
    convertScript(c.input, whole, {}, options);
    std::string received;
    std::size_t restarts = 0;
    bool keptTables = false;
    Conversion result;
    const bool accepted = convertInParts(
        c.input, result,
        [&](std::string_view piece) {
          received.append(piece);
          return true;
        },
        options, 8, {},
        [&](std::size_t replaced, std::string_view beginning) {
          keptTables = replaced < received.size();
          received.replace(0, replaced, beginning);
          ++restarts;
          return c.restartAnswer;
        });
    EXPECT_EQ(accepted, c.accepted) << c.input;
    EXPECT_EQ(restarts, c.restarts) << c.input;
    EXPECT_EQ(keptTables, c.keepsTables) << c.input;
    if (c.accepted) {
      EXPECT_EQ(received, whole.lua) << c.input;
    }
  }
}

TEST(ConvertScriptTest, RefusedSinkIsNotAskedAgainAndTheRunStillEnds) {
  const std::string input = "label R28:\nx\nlabel R28:\njump_out\ny\nlabel c:\n$ z = 1\n";
  std::size_t calls = 0;
  Conversion result;
  const bool accepted = convertScript(
      input, result,
      [&calls](std::string_view) {
        ++calls;
        return false;
      },
      {1}, 3);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(calls, 1u);
  EXPECT_EQ(result.console, "nadasnadasnadas");
  EXPECT_EQ(warningsOf(result.warnings),
            (std::vector<std::string>{
                "3: label \"R28\" is defined again; this table replaces the one of line 1 in LABELS",
                "4: jump_out has no target; the line is left unquoted"}));
}

// What the sink throws reaches the caller, whichever part this thread was
// converting when it threw, and the threads still converting end. Every
// part is slowed alike, so that a part converted elsewhere is often written
// while this thread converts the next.
TEST(ConvertScriptTest, WhatTheSinkThrowsReachesTheCaller) {
  std::string input = "$ v = 1\n";
  for (int k = 0; k < 400; ++k) input += "label l" + std::to_string(k) + ":\n    x\n    y\n";
  for (const std::size_t parts : {1, 8}) {
    for (int k = 0; k < 400; k += 50) {
      const std::string label = "\"l" + std::to_string(k) + "\"";
      bool thrown = false;  // once: a piece handed on again would be taken
      const LuaSink sink = [&](std::string_view piece) {
        if (!thrown && piece.find(label) != std::string_view::npos) {
          thrown = true;
          throw std::runtime_error("full");
        }
        return true;
      };
      const InputRelease slowly = [](std::string_view) {
        std::this_thread::sleep_for(std::chrono::microseconds(10));
      };
      Conversion result;
      EXPECT_THROW(convertInParts(input, result, sink, {1}, parts, slowly), std::runtime_error)
          << parts << " parts, thrown at " << label;
    }
  }
}

}  // namespace
}  // namespace brindle
