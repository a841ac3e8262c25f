// Whatever brindle-check lets pass loads in all three real Luas. For each
// script, the lines it reports are emptied and the script checked again
// until nothing is reported (a report on the wrong line would leave the
// fault in place, and the rounds would run out); then the conversion of what
// is left must load in luac5.1 -p, luac5.4 -p and luajit -bl. Jumps to
// missing labels and labels defined twice do not stop a file from loading
// and are left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "check.h"
#include "decode.h"
#include "plain_forms.h"

namespace brindle::check {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The script with the given lines (from 1) emptied.
std::string emptyLines(const std::string& script, const std::set<std::size_t>& lines) {
  std::string out;
  std::size_t line = 1;
  for (std::size_t at = 0; at <= script.size();) {
    const std::size_t end = std::min(script.find('\n', at), script.size());
    if (lines.count(line) == 0) out.append(script, at, end - at);
    if (end < script.size()) out += '\n';
    at = end + 1;
    ++line;
  }
  return out;
}

bool stopsLoading(FindingKind kind) {
  return kind != FindingKind::undefinedJumpTarget && kind != FindingKind::duplicateLabel;
}

// Empties the reported lines until none is reported; returns the script
// left, or fails the test.
std::string withoutReportedLines(std::string script, const std::string& name) {
  for (int round = 0; round < 100; ++round) {
    std::set<std::size_t> lines;
    std::string decoded;
    for (const Finding& finding : checkScript(scriptText(script, decoded).text).findings) {
      if (stopsLoading(finding.kind)) lines.insert(finding.line);
    }
    if (lines.empty()) return script;
    script = emptyLines(script, lines);
  }
  ADD_FAILURE() << name << ": lines are still reported after 100 rounds";
  return script;
}

bool installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null").c_str()) == 0;
}

void expectLoadsEverywhere(const std::string& script, const std::string& name) {
  Conversion conversion;
  convertScript(script, conversion);
  const fs::path dir = fs::temp_directory_path() / ("brindle-agreement-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path lua = dir / "output.lua";
  std::ofstream(lua, std::ios::binary) << conversion.lua;
  for (const std::string command : {"luac5.1 -p", "luac5.4 -p", "luajit -bl"}) {
    const std::string run = command + " " + lua.string() + " >/dev/null 2>" + (dir / "err").string();
    EXPECT_EQ(std::system(run.c_str()), 0)
        << name << ": brindle-check lets it pass, but " << command
        << " refuses it: " << readFile(dir / "err");
  }
  fs::remove_all(dir);
}

TEST(AgreementTest, WhatPassesTheCheckLoadsInEveryLua) {
  for (const std::string tool : {"luac5.1", "luac5.4", "luajit"}) {
    if (!installed(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
  }
  // A story with a fault of every kind, some the checks of the three Luas
  // disagree on.
  std::vector<std::pair<std::string, std::string>> scripts = {
      {"generated story",
       "$ renpy.pause(1.0)\nlabel start:\n    $ coins += 1\n    e \"50\\% off\"\n    x = 7 // 2\n"
       "    if coins != 2:\n        f\n        (g)()\n    elif coins:\n        y = [[\n    $\n"
       "    jump_out nowhere\nlabel start:\n    \n    z = 1;\n    e \"fine \\\"quote\\\"\\n\"\n"
       "label a\"b:\n    path_end\n"},
  };
  const fs::path corpus = fs::path(BRINDLE_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
  if (fs::is_directory(corpus)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
      if (entry.path().extension() == ".rpy") {
        scripts.push_back({entry.path().filename().string(), readFile(entry.path())});
      }
    }
  } else {
    std::cout << "note: " << corpus << " not found; checking the generated story only\n";
  }
  for (const auto& [name, script] : scripts) {
    expectLoadsEverywhere(withoutReportedLines(script, name), name);
  }
}

}  // namespace
}  // namespace brindle::check
