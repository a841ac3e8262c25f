#include "segment.h"

#include <algorithm>

#include "escapes.h"
#include "string_utils.h"

namespace brindle::check {
namespace {

std::string_view trimmed(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

// The length of the line end Lua counts at `at` of `text`: 1 for a line
// feed or a carriage return, 2 for the two in either order, 0 elsewhere.
std::size_t luaLineEndAt(std::string_view text, std::size_t at) {
  const char c = text[at];
  if (c != '\n' && c != '\r') return 0;
  const bool pair = at + 1 < text.size() && (text[at + 1] == '\n' || text[at + 1] == '\r') && text[at + 1] != c;
  return pair ? 2 : 1;
}

}  // namespace

void Segment::append(std::string_view piece, const LineMap& map) {
  std::vector<std::size_t> pieceMarks;
  std::string marked;
  if (markEscapesNewerLuasRefuse(piece, marked, pieceMarks)) piece = marked;
  for (const std::size_t mark : pieceMarks) marks.push_back(text.size() + mark);
  const std::size_t base = text.size();
  text.append(piece);
  carriageReturns = carriageReturns || piece.find('\r') != std::string_view::npos;
  for (std::size_t feed = piece.find('\n'); feed != std::string_view::npos; feed = piece.find('\n', feed + 1)) {
    starts.push_back(base + feed + 1);
    const std::size_t line = linesBegun() - 1;
    const LuaLineRole role = lineOf(map, line).role;
    if (!beginsItem(role)) continue;
    items.push_back({role == LuaLineRole::declaration ? ItemKind::declaration
                     : role == LuaLineRole::tableKey  ? ItemKind::labelKey
                                                      : ItemKind::entry,
                     line});
  }
}

Segment segmentOf(std::string_view text, const LineMap& map) {
  Segment segment;
  segment.append(text, map);
  segment.lines.assign(map.lines.begin(), map.lines.end());
  segment.last = true;
  return segment;
}

std::string_view Segment::lineText(std::size_t line) const {
  const std::size_t from = offsetOf(line);
  const std::size_t to = line + 1 < linesBegun() ? offsetOf(line + 1) - 1 : text.size();
  return std::string_view(text).substr(from, to - from);
}

std::size_t Segment::itemsEnd(std::size_t end) const {
  return end < items.size() ? offsetOf(items[end].firstLine) : text.size();
}

std::size_t Segment::lastLineOf(std::size_t k) const {
  return (k + 1 < items.size() ? items[k + 1].firstLine : linesBegun()) - 1;
}

bool Segment::tableOpenAfter(std::size_t k) const {
  return items[k].kind != ItemKind::declaration && k + 1 < items.size() && items[k + 1].kind == ItemKind::entry;
}

std::size_t Segment::itemAt(std::size_t line, std::size_t first, std::size_t end) const {
  const auto begin = items.begin() + static_cast<std::ptrdiff_t>(first);
  const auto at = std::upper_bound(begin, items.begin() + static_cast<std::ptrdiff_t>(end), line,
                                   [](std::size_t l, const Item& item) { return l < item.firstLine; });
  return at == begin ? first : static_cast<std::size_t>(at - items.begin()) - 1;
}

bool Segment::mayRunOn(std::size_t first, std::size_t end) const {
  const std::size_t from = offsetOf(items[first].firstLine);
  const std::string_view run = std::string_view(text).substr(from, itemsEnd(end) - from);
  for (const std::string_view opener : {"[[", "[=", "--", "\\\n", "\\\r"}) {
    if (findText(run, opener) != std::string_view::npos) return true;
  }
  return false;
}

bool Segment::markedOn(std::size_t line) const {
  const std::size_t from = offsetOf(line);
  const std::size_t to = line + 1 < linesBegun() ? offsetOf(line + 1) : text.size();
  const auto at = std::lower_bound(marks.begin(), marks.end(), from);
  return at != marks.end() && *at < to;
}

bool Segment::onlyClosingAfter(std::size_t line, std::size_t last) const {
  for (std::size_t l = line + 1; l <= last; ++l) {
    const LuaLineRole role = lineAt(l).role;
    if (role != LuaLineRole::chainEnd && role != LuaLineRole::tableEnd) return false;
  }
  return true;
}

std::size_t Segment::luaLineEnds(std::size_t from, std::size_t to) const {
  std::size_t ends = 0;
  for (std::size_t at = from; at < to; ++at) {
    if (const std::size_t end = luaLineEndAt(std::string_view(text).substr(0, to), at)) {
      ++ends;
      at += end - 1;
    }
  }
  return ends;
}

std::size_t Segment::lineAtLuaLine(std::size_t first, std::size_t luaLine, std::size_t last) const {
  const std::size_t index = luaLine > 0 ? luaLine - 1 : 0;
  if (!carriageReturns) return std::min(first + index, last);
  std::size_t at = offsetOf(first);
  for (std::size_t ends = 0; ends < index && at < text.size(); ++at) {
    if (const std::size_t end = luaLineEndAt(text, at)) {
      ++ends;
      at += end - 1;
    }
  }
  const auto line = std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1;
  return std::min(firstLine + static_cast<std::size_t>(line), last);
}

std::size_t Segment::lineToChange(std::size_t line, const ParseError& error, std::size_t from,
                                  std::size_t last) const {
  // A bracket left open: it is closed on the line that opened it.
  if (error.openedLine > 0 && (error.opened == "(" || error.opened == "[" || error.opened == "{")) {
    return std::max(lineAtLuaLine(from, error.openedLine, last), from);
  }
  if (error.expected == "then") {
    // The if or elif line the line is written under, where it is one of
    // this chunk's.
    const std::uint32_t back = lineAt(line).chainLine;
    return back != kNoChainLine && back <= line - from ? line - back : line;
  }
  if (error.unfinishedLongBracket) {
    // Lua 5.1 names only the end it ran into: the text was opened by the
    // nearest long bracket before it, "[[" or "[=...=[".
    for (std::size_t l = line;; --l) {
      const std::string_view text = lineText(l);
      for (std::size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at + 1)) {
        std::size_t end = at + 1;
        while (end < text.size() && text[end] == '=') ++end;
        if (end < text.size() && text[end] == '[') return l;
      }
      if (l == from) return line;
    }
  }
  if (!error.nearGiven || line == from) return line;
  const std::string_view token = error.near;
  if (token.empty() || !trimmed(lineText(line)).starts_with(token)) return line;
  std::size_t before = line - 1;
  while (before > from && trimmed(lineText(before)).empty()) --before;
  const std::string_view ended = trimmed(lineText(before));
  if (ended.empty()) return line;
  if (error.expected == "=") {
    // An expression where a statement should end: the line before, unless
    // it opens a block, after which the line itself begins wrong.
    const bool opensBlock =
        ended.ends_with("then") || ended.ends_with("else") || ended.ends_with(trimmed(kResumedEntry));
    return opensBlock ? line : before;
  }
  // A line that ends in an operator or an open bracket goes on into the
  // next.
  constexpr std::string_view kGoesOn = "([{,=+-*/%^<>~.";
  const bool goesOn = kGoesOn.find(ended.back()) != std::string_view::npos || ended.ends_with(" and") ||
                      ended.ends_with(" or") || ended.ends_with(" not");
  return goesOn ? before : line;
}

std::size_t Segment::scriptLineOf(std::size_t line, std::size_t k) const {
  const auto own = [this](std::size_t l) {
    return lineAt(l).role == LuaLineRole::tableSpace ? std::size_t{0} : lineAt(l).scriptLine;
  };
  std::size_t scriptLine = own(line);
  for (std::size_t l = line; scriptLine == 0 && l > items[k].firstLine;) scriptLine = own(--l);
  return scriptLine;
}

std::size_t Segment::openedScriptLine(const ParseError& error, std::size_t k, std::size_t chunkFirst) const {
  if (error.openedLineAt == std::string::npos) return 0;
  return scriptLineOf(lineAtLuaLine(chunkFirst, error.openedLine, lastLineOf(k)), k);
}

}  // namespace brindle::check
