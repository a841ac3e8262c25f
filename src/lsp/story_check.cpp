#include "story_check.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>

#include "lua_parser.h"
#include "writer.h"

namespace brindle::lsp {
namespace {

using check::Finding;
using check::FindingKind;
using check::SegmentFinding;

// Pieces are checked here, one after another, where there are this few.
constexpr std::size_t kFewPieces = 16;

bool sameNames(const NameTable& a, const NameTable& b) { return a.bytes == b.bytes && a.ends == b.ends; }

void stopIfAsked(const std::atomic<bool>* stopped) {
  if (stopped && stopped->load(std::memory_order_relaxed)) throw check::CheckStopped{};
}

}  // namespace

check::CheckReport StoryChecker::check(const Story& story, const std::atomic<bool>* stopped) {
  const check::Batches batches;
  // The label pieces this version holds that no version before did.
  std::vector<std::size_t> unchecked;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    if (story.pieces[k]->isLabel && !found_.contains(story.pieces[k].get())) unchecked.push_back(k);
  }
  std::vector<std::shared_ptr<const Found>> results(unchecked.size());
  // Each worker takes the next piece not taken; what it found is kept even
  // when the check is stopped.
  std::atomic<std::size_t> next = 0;
  const auto work = [&] {
    check::LuaParser parser;
    for (std::size_t n; (n = next.fetch_add(1)) < unchecked.size();) {
      if (stopped && stopped->load(std::memory_order_relaxed)) return;
      const Piece& piece = *story.pieces[unchecked[n]];
      TextBuffer text;
      LineMap lines;
      writeTable(piece, text, lines);
      auto found = std::make_shared<Found>();
      found->findings = check::checkSegment(check::segmentOf(text.view(), lines), batches, parser);
      for (const SegmentFinding& finding : found->findings) {
        found->hints.push_back(finding.kind == FindingKind::luaSyntax ? check::hintsFor(piece.scriptLine(finding.line))
                                                                      : std::vector<check::Hint>());
      }
      results[n] = std::move(found);
    }
  };
  std::vector<std::future<void>> helpers;
  if (unchecked.size() > kFewPieces) {
    const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t t = 1; t < threads; ++t) {
      try {
        helpers.push_back(std::async(std::launch::async, work));
      } catch (const std::system_error&) {
        break;  // no thread to be had: the others do it all
      }
    }
  }
  std::exception_ptr failed;
  try {
    work();
  } catch (...) {
    failed = std::current_exception();
    next = unchecked.size();
  }
  for (std::future<void>& helper : helpers) {
    try {
      helper.get();
    } catch (...) {
      if (!failed) failed = std::current_exception();
    }
  }
  for (std::size_t n = 0; n < unchecked.size(); ++n) {
    if (results[n]) found_[story.pieces[unchecked[n]].get()] = {story.pieces[unchecked[n]], std::move(results[n])};
  }
  if (failed) std::rethrow_exception(failed);
  stopIfAsked(stopped);

  // The declarations, each at the index of its variable, from 1, so that
  // what Lua finds in them holds while the names are the same.
  if (!declarationsChecked_ || !sameNames(declared_, story.variables)) {
    TextBuffer text;
    LineMap lines;
    beginLine(&lines, 0, LuaLineRole::header);
    std::vector<std::size_t> indexes(nameCount(story.variables));
    for (std::size_t k = 0; k < indexes.size(); ++k) indexes[k] = k + 1;
    appendDeclarationLines(story.variables, indexes, text, lines);
    check::LuaParser parser;
    declarationFindings_ = check::checkSegment(check::segmentOf(text.view(), lines), batches, parser);
    declared_ = story.variables;
    declarationsChecked_ = true;
  }

  // The findings of the pieces in order, then the declarations', as the
  // text has them, put at the script's lines.
  check::CheckReport report;
  std::vector<Finding>& findings = report.findings;
  std::unordered_map<const Piece*, Kept> held;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    const Piece* const piece = story.pieces[k].get();
    if (!piece->isLabel) continue;
    const Kept& kept = found_.at(piece);
    for (std::size_t f = 0; f < kept.found->findings.size(); ++f) {
      Finding finding = check::findingAt(kept.found->findings[f], story.firstLine[k] - 1);
      finding.hints = kept.found->hints[f];
      findings.push_back(std::move(finding));
    }
    held.emplace(piece, kept);
  }
  found_ = std::move(held);  // the pieces of older versions go
  for (const SegmentFinding& finding : declarationFindings_) {
    findings.push_back(check::findingAt(finding, story.variableLines[finding.line - 1] - finding.line));
  }
  // As checkScript orders them: the declarations' first among a line's,
  // the label problems findings too, every other warning one.
  std::stable_partition(findings.begin(), findings.end(),
                        [](const Finding& f) { return f.kind == FindingKind::unassignableVariable; });
  for (const Warning& warning : story.warnings) {
    if (warning.kind == WarningKind::undefinedJumpTarget) {
      findings.push_back({warning.line, FindingKind::undefinedJumpTarget, warning.message, {}});
    } else if (warning.kind == WarningKind::redefinedLabel) {
      findings.push_back({warning.line, FindingKind::duplicateLabel, warning.message, {}});
    } else {
      report.warnings.push_back(warning);
    }
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return report;
}

}  // namespace brindle::lsp
