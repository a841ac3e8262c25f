#include "check_check.h"

#include <algorithm>
#include <map>
#include <vector>

#include "check.h"
#include "convert.h"
#include "decode.h"
#include "line_map.h"

namespace brindle::fuzz {
namespace {

using check::Finding;
using check::FindingKind;

// The lines of `text`, each up to its line feed, a carriage return before
// it included, so that a line followed by a line feed reads as it did.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) return lines;
    at = end + 1;
  }
}

// For each script line that an entry of the Lua text comes from, the script
// lines of that whole entry: a statement's own, or its chain's.
std::map<std::size_t, std::vector<std::size_t>> entriesOf(std::string_view script) {
  LineMap map;
  ConvertOptions options;
  options.mostItemsPerFunction = static_cast<std::size_t>(-1);
  std::string console;
  StretchRecord record(options, console, &map);
  convertStretch(script, options, record);
  std::map<std::size_t, std::vector<std::size_t>> entries;
  std::vector<std::size_t> entry;
  const auto close = [&] {
    for (const std::size_t line : entry) entries[line] = entry;
    entry.clear();
  };
  for (const LuaLine& line : map.lines) {
    if (beginsItem(line.role)) close();
    if (line.role == LuaLineRole::entry || line.role == LuaLineRole::chainOpen ||
        line.role == LuaLineRole::chainGoesOn || line.role == LuaLineRole::chainBody) {
      if (line.scriptLine != 0 && (entry.empty() || entry.back() != line.scriptLine)) {
        entry.push_back(line.scriptLine);
      }
    }
  }
  close();
  return entries;
}

// Whether checking `lines` alone, under a label of their own, reports the
// line at `index` among them.
bool refusedAlone(const std::vector<std::string_view>& script, const std::vector<std::size_t>& lines,
                  std::size_t line) {
  std::string mini = "label checked:\n";
  std::size_t at = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    mini.append(script[lines[k] - 1]);
    // The script's last line has no line feed after it, which would make a
    // carriage return that ends it a line end.
    if (lines[k] < script.size()) mini.append("\n");
    if (lines[k] == line) at = k + 2;
  }
  const check::CheckReport report = check::checkScript(mini);
  return std::any_of(report.findings.begin(), report.findings.end(),
                     [&](const Finding& f) { return f.line == at; });
}

bool sameFindings(const std::vector<Finding>& a, const std::vector<Finding>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Finding& x, const Finding& y) {
    return x.line == y.line && x.kind == y.kind && x.message == y.message;
  });
}

}  // namespace

std::string checkChecker(std::string_view input) {
  std::string decoded;
  const ScriptText text = scriptText(input, decoded);
  if (!text.error.empty()) return {};
  const std::string_view script = text.text;
  const check::CheckReport report = check::checkScript(script);
  // Items to Lua one by one, each a segment of its own, on threads.
  const check::CheckReport oneByOne = check::checkScript(script, {1, 1, 1, 1, 2});
  if (!sameFindings(report.findings, oneByOne.findings)) {
    return "the findings differ when the items go to Lua one by one";
  }
  const std::vector<std::string_view> lines = linesOf(script);
  std::size_t previous = 0;
  for (const Finding& finding : report.findings) {
    if (finding.line < previous) return "the findings are not sorted by line";
    if (finding.line < 1 || finding.line > lines.size()) return "a finding names a line the script lacks";
    previous = finding.line;
  }
  // Lines reported for what Lua refuses are refused alone, or in their chain.
  std::map<std::size_t, std::vector<std::size_t>> entries;
  bool mapped = false;
  for (const Finding& finding : report.findings) {
    if (finding.kind != FindingKind::luaSyntax) continue;
    const std::string_view line = lines[finding.line - 1];
    // A label line is its table's key: checked as a label of its own.
    const check::CheckReport alone =
        check::checkScript(std::string(line) + (finding.line < lines.size() ? "\n" : ""));
    if (std::any_of(alone.findings.begin(), alone.findings.end(),
                    [](const Finding& f) { return f.line == 1; })) {
      continue;
    }
    if (refusedAlone(lines, {finding.line}, finding.line)) continue;
    if (!mapped) {
      entries = entriesOf(script);
      mapped = true;
    }
    const auto entry = entries.find(finding.line);
    if (entry == entries.end() || !refusedAlone(lines, entry->second, finding.line)) {
      return "line " + std::to_string(finding.line) +
             " is reported, but neither alone nor in its chain is it refused";
    }
  }
  return {};
}

}  // namespace brindle::fuzz
