#include "lsp_edits_check.h"

#include <memory>
#include <vector>

#include "check.h"
#include "decode.h"
#include "editor_features.h"
#include "json_report.h"
#include "parts.h"
#include "positions.h"
#include "story.h"
#include "story_check.h"

namespace brindle::fuzz {
namespace {

using lsp::Position;
using lsp::Range;

// The edits of an input, at most this many, so that a run stays short.
constexpr std::size_t kMostEdits = 48;

std::string describeFinding(const check::Finding& f) {
  std::string text = std::to_string(f.line) + " " + std::string(check::kindName(f.kind)) + " " + f.message;
  for (const check::Hint& hint : f.hints) {
    text += " [" + std::to_string(hint.column) + "-" + std::to_string(hint.endColumn) + " " + hint.fix + " " +
            hint.replacement + "]";
  }
  return text;
}

std::string describeWarning(const Warning& warning) {
  return std::to_string(warning.line) + " warning " + std::string(check::kindName(warning.kind)) + " " + warning.message;
}

std::vector<std::string> describe(const check::CheckReport& report) {
  std::vector<std::string> lines;
  for (const check::Finding& finding : report.findings) lines.push_back(describeFinding(finding));
  for (const Warning& warning : report.warnings) lines.push_back(describeWarning(warning));
  return lines;
}

std::vector<std::string> describe(const lsp::StoryReport& report) {
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < report.size(); ++k) lines.push_back(describeFinding(report.finding(k)));
  for (const Warning& warning : report.warnings) lines.push_back(describeWarning(warning));
  return lines;
}

std::string describe(const Range& range) {
  return std::to_string(range.start.line) + ":" + std::to_string(range.start.character) + "-" +
         std::to_string(range.end.line) + ":" + std::to_string(range.end.character);
}

std::vector<std::string> editorView(const lsp::Story& story, const lsp::StoryReport& report) {
  std::vector<std::string> lines;
  for (const lsp::Diagnostic& d : lsp::diagnosticsOf(report)) lines.push_back(describe(d.range) + " " + d.message);
  for (const lsp::Symbol& s : lsp::documentSymbols(story)) lines.push_back(s.name + " " + describe(s.selection));
  for (const lsp::Lens& lens : lsp::codeLenses(story)) lines.push_back(describe(lens.range) + " " + lens.title);
  return lines;
}

// The first place where the two lists differ.
std::string firstDifference(const std::vector<std::string>& kept, const std::vector<std::string>& fresh) {
  for (std::size_t k = 0; k < std::max(kept.size(), fresh.size()); ++k) {
    const std::string a = k < kept.size() ? kept[k] : "(nothing)";
    const std::string b = k < fresh.size() ? fresh[k] : "(nothing)";
    if (a != b) return "kept \"" + a + "\", fresh \"" + b + "\"";
  }
  return {};
}

}  // namespace

std::string checkLspEdits(std::string_view input) {
  const std::size_t split = input.find('\xFF');
  std::string text(input.substr(0, split));
  std::string_view edits = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  std::shared_ptr<const lsp::Story> story = lsp::openStory(text);
  lsp::StoryChecker checker;
  for (std::size_t n = 0; n <= kMostEdits; ++n) {
    const std::string after = n == 0 ? "the text as opened" : "edit " + std::to_string(n);
    if (story->text() != text) return after + ": the story's text is not the text edited";
    const std::string_view script = scriptOfEditorText(text);
    const lsp::StoryReport kept = checker.check(story);
    const check::CheckReport fresh = check::checkScript(script);
    if (std::string difference = firstDifference(describe(kept), describe(fresh)); !difference.empty()) {
      return after + ": the check differs from a check of the whole text: " + difference;
    }
    const std::shared_ptr<const lsp::Story> opened = lsp::openStory(text);
    if (std::string difference =
            firstDifference(editorView(*story, kept), editorView(*opened, lsp::StoryChecker().check(opened)));
        !difference.empty()) {
      return after + ": the editor's view differs from that of a story opened afresh: " + difference;
    }
    Conversion conversion;
    convertInParts(script, conversion);
    if (lsp::storyLua(*story) != conversion.lua) return after + ": the story's Lua is not what brindle writes";
    if (edits.size() < 4) break;
    // The edit, at a place the text has.
    const lsp::LineIndex index(text);
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(edits[k]); };
    const std::size_t line = byte(0) % (index.lineCount() + 1);
    const std::size_t character = byte(1) % (index.line(line).size() + 2);
    const std::size_t from = index.offsetOf({line, character});
    const std::size_t to = std::min(text.size(), from + byte(2));
    const std::size_t inserted = std::min<std::size_t>(byte(3), edits.size() - 4);
    const std::string put(edits.substr(4, inserted));
    edits.remove_prefix(4 + inserted);
    const Range range{index.positionOf(from), index.positionOf(to)};
    story = lsp::editStory(*story, {{range, put}});
    // What the range names in the text, as the editor counts: a position
    // inside a character is its first byte.
    const std::size_t begin = index.offsetOf(range.start);
    const std::size_t end = std::max(begin, index.offsetOf(range.end));
    text.replace(begin, end - begin, put);
  }
  return {};
}

}  // namespace brindle::fuzz
