#include "story_check.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <thread>

#include "large_buffer.h"
#include "lua_parser.h"
#include "writer.h"

namespace brindle::lsp {
namespace {

using check::Finding;
using check::FindingKind;
using check::SegmentFinding;

// Pieces are checked here, one after another, where there are this few.
constexpr std::size_t kFewPieces = 16;

// What the check finds in the table of `piece`.
std::shared_ptr<const PieceCheck> checkPiece(const Piece& piece, const check::Batches& batches,
                                             check::LuaParser& parser) {
  TextBuffer text;
  LineMap lines;
  writeTable(piece, text, lines);
  auto found = std::make_shared<PieceCheck>();
  for (SegmentFinding& segmentFinding : check::checkSegment(check::segmentOf(text.view(), lines), batches, parser)) {
    Finding finding = check::findingAt(segmentFinding);
    if (finding.kind == FindingKind::luaSyntax) finding.hints = check::hintsFor(piece.scriptLine(finding.line));
    // A message that names a line, as Lua's "(to close 'if' at line 3)",
    // is made again at the script's lines.
    if (segmentFinding.error.openedLineAt != std::string::npos ||
        (segmentFinding.stopLine != segmentFinding.line && segmentFinding.stopLine != 0)) {
      found->namesLine.push_back(static_cast<std::uint32_t>(found->findings.size()));
      found->facts.push_back(std::move(segmentFinding));
    }
    found->findings.push_back(std::move(finding));
  }
  return found;
}

}  // namespace

const Finding& StoryReport::raw(std::size_t k) const {
  const Ref& ref = order[k];
  return ref.piece == kWhole ? whole[ref.finding] : checks[ref.piece]->findings[ref.finding];
}

std::size_t StoryReport::lineOf(std::size_t k) const {
  const Ref& ref = order[k];
  return ref.piece == kWhole ? whole[ref.finding].line : story->firstLine[ref.piece] - 1 + raw(k).line;
}

bool StoryReport::namesLine(std::size_t k) const {
  const Ref& ref = order[k];
  if (ref.piece == kWhole) return false;
  const std::vector<std::uint32_t>& names = checks[ref.piece]->namesLine;
  return std::binary_search(names.begin(), names.end(), ref.finding);
}

Finding StoryReport::finding(std::size_t k) const {
  Finding finding = raw(k);
  const Ref& ref = order[k];
  if (ref.piece == kWhole) return finding;
  const PieceCheck& found = *checks[ref.piece];
  const auto at = std::lower_bound(found.namesLine.begin(), found.namesLine.end(), ref.finding);
  const std::size_t offset = story->firstLine[ref.piece] - 1;
  if (at != found.namesLine.end() && *at == ref.finding) {
    std::vector<check::Hint> hints = std::move(finding.hints);
    finding = check::findingAt(found.facts[static_cast<std::size_t>(at - found.namesLine.begin())], offset);
    finding.hints = std::move(hints);
  } else {
    finding.line += offset;
  }
  return finding;
}

StoryReport StoryChecker::check(const std::shared_ptr<const Story>& storyHeld, const std::atomic<bool>* stopped) {
  const Story& story = *storyHeld;
  const check::Batches batches;
  // The label pieces no version before was checked with.
  std::vector<std::size_t> unchecked;
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    if (story.pieces[k]->isLabel && !story.pieces[k]->check.load()) unchecked.push_back(k);
  }
  // Each worker takes the next piece not taken; what it finds stays with
  // the piece even when the check is stopped.
  std::atomic<std::size_t> next = 0;
  const auto work = [&] {
    check::LuaParser parser;
    for (std::size_t n; (n = next.fetch_add(1)) < unchecked.size();) {
      if (stopped && stopped->load(std::memory_order_relaxed)) return;
      const Piece& piece = *story.pieces[unchecked[n]];
      piece.check.store(checkPiece(piece, batches, parser));
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
  // Parsing many pieces on threads leaves what Lua's states freed with the
  // threads' arenas.
  if (!helpers.empty()) giveBackFreedMemory();
  if (failed) std::rethrow_exception(failed);
  if (stopped && stopped->load(std::memory_order_relaxed)) throw check::CheckStopped{};

  // The declarations, each at the index of its variable, from 1, so that
  // what Lua finds in them holds while the names are the same.
  if (!declared_ || (declared_ != story.variables && (declared_->bytes != story.variables->bytes ||
                                                      declared_->ends != story.variables->ends))) {
    TextBuffer text;
    LineMap lines;
    beginLine(&lines, 0, LuaLineRole::header);
    std::vector<std::size_t> indexes(nameCount(*story.variables));
    for (std::size_t k = 0; k < indexes.size(); ++k) indexes[k] = k + 1;
    appendDeclarationLines(*story.variables, indexes, text, lines);
    check::LuaParser parser;
    declarationFindings_ = check::checkSegment(check::segmentOf(text.view(), lines), batches, parser);
  }
  declared_ = story.variables;

  StoryReport report;
  report.story = storyHeld;
  report.checks.resize(story.pieces.size());
  // As checkScript orders them: by line, and among a line's, a
  // declaration's first, then the table's, then a label problem's; each
  // kind comes in line order.
  std::vector<Finding> declarations;
  if (!declarationFindings_.empty()) {
    std::vector<std::size_t> firstLines(nameCount(*story.variables));
    for (std::size_t k = 0; k < firstLines.size(); ++k) firstLines[k] = 0;
    std::size_t found = 0;
    for (std::size_t k = 0; k < story.pieces.size() && found < firstLines.size(); ++k) {
      for (const NameUse& set : story.pieces[k]->variables) {
        const std::size_t index = findName(*story.variables, story.pieces[k]->nameOf(set));
        if (index != kNoName && firstLines[index] == 0) {
          firstLines[index] = story.placeOf(k, set).line;
          ++found;
        }
      }
    }
    for (const SegmentFinding& finding : declarationFindings_) {
      declarations.push_back(check::findingAt(finding, firstLines[finding.line - 1] - finding.line));
    }
  }
  std::vector<Finding> problems;
  for (const Warning& warning : story.warnings) {
    if (warning.kind == WarningKind::undefinedJumpTarget) {
      problems.push_back({warning.line, FindingKind::undefinedJumpTarget, warning.message, {}});
    } else if (warning.kind == WarningKind::redefinedLabel) {
      problems.push_back({warning.line, FindingKind::duplicateLabel, warning.message, {}});
    } else {
      report.warnings.push_back(warning);
    }
  }
  report.whole.reserve(declarations.size() + problems.size());
  std::move(declarations.begin(), declarations.end(), std::back_inserter(report.whole));
  std::move(problems.begin(), problems.end(), std::back_inserter(report.whole));
  // The story's own findings go in before each table finding that comes
  // after them: at an earlier line, or a declaration at its line.
  constexpr int kDeclaration = 0;
  constexpr int kTable = 1;
  constexpr int kProblem = 2;
  std::size_t declaration = 0;
  std::size_t problem = declarations.size();
  const auto wholeBefore = [&](std::size_t line, int kind) {
    for (;;) {
      const bool declarationNext =
          declaration < declarations.size() &&
          (problem == report.whole.size() || report.whole[declaration].line <= report.whole[problem].line);
      const std::size_t next = declarationNext ? declaration : problem;
      if (next == report.whole.size()) return;
      const std::size_t nextLine = report.whole[next].line;
      const int nextKind = declarationNext ? kDeclaration : kProblem;
      if (nextLine > line || (nextLine == line && nextKind >= kind)) return;
      report.order.push_back({StoryReport::kWhole, static_cast<std::uint32_t>(next)});
      ++(declarationNext ? declaration : problem);
    }
  };
  for (std::size_t k = 0; k < story.pieces.size(); ++k) {
    if (!story.pieces[k]->isLabel) continue;
    report.checks[k] = story.pieces[k]->check.load();
    const std::vector<Finding>& findings = report.checks[k]->findings;
    const std::size_t offset = story.firstLine[k] - 1;
    for (std::size_t f = 0; f < findings.size(); ++f) {
      wholeBefore(offset + findings[f].line, kTable);
      report.order.push_back({static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(f)});
    }
  }
  wholeBefore(static_cast<std::size_t>(-1), kProblem + 1);
  return report;
}

}  // namespace brindle::lsp
