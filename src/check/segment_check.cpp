// The check of one segment: its items go to Lua in batches; where Lua
// refuses a batch, the item to blame is found, reported, and the parse goes
// on after it, and inside a chain after each broken line.
#include <algorithm>

#include "lua_parser.h"
#include "segment.h"

namespace brindle::check {
namespace {

// Lua nests at most about two hundred blocks; a chain resumed deeper than
// this is left at its first broken line.
constexpr std::size_t kMostResumedChains = 150;

// A segment being checked, with the parser and the batches' state.
struct SegmentCheck : Segment {
  SegmentCheck(Segment&& segment, const Batches& batches, LuaParser& parser)
      : Segment(std::move(segment)), batches(batches), parser(parser), batchItems(batches.mostItems) {}

  Batches batches;
  std::vector<SegmentFinding> findings;
  LuaParser& parser;
  std::size_t next = 0;
  std::size_t aloneChecked = 0;  // items before this have been loaded alone
  std::size_t batchItems;
  std::vector<std::string_view> pieces;

  // Looks at every item of the segment.
  std::vector<SegmentFinding> run() {
    lookAt(last ? items.size() : items.size() - 1);
    return std::move(findings);
  }

  // Gives items [next, available) to Lua, in batches; where a batch is
  // refused, finds the item to blame, reports it and goes on after it.
  void lookAt(std::size_t available) {
    ParseError error;
    std::size_t until = available;  // where the batches end for now
    while (next < available) {
      if (next >= until) until = available;
      const std::size_t end = batchEnd(next, batchItems, until);
      if (parse(next, end, error)) {
        next = end;
        batchItems = std::min(2 * batchItems, batches.mostItems);
        continue;
      }
      batchItems = batches.firstItems;
      const std::size_t failing =
          itemAt(lineAtLuaLine(items[next].firstLine, error.line, lastLineOf(end - 1)), next, end);
      // Usually the item Lua stopped in is to blame, and refused alone the
      // same way. If it loads alone, or is refused otherwise, an earlier
      // item of the batch may have left something open that ran into it:
      // the first that Lua refuses alone is to blame.
      const std::size_t offset =
          carriageReturns ? luaLineEnds(offsetOf(items[next].firstLine), offsetOf(items[failing].firstLine))
                          : items[failing].firstLine - items[next].firstLine;
      ParseError inContext = error;
      inContext.line = error.line > offset ? error.line - offset : 1;
      ParseError alone;
      const bool loadsAlone = parse(failing, failing + 1, alone);
      std::size_t blamed = failing;
      if (loadsAlone || alone.line != inContext.line || alone.message != inContext.message) {
        ParseError earlier;
        for (std::size_t k = std::max(next, aloneChecked); k < failing; ++k) {
          if (!parse(k, k + 1, earlier)) {
            blamed = k;
            alone = earlier;
            break;
          }
        }
        aloneChecked = std::max(aloneChecked, blamed + 1);
        if (blamed == failing && loadsAlone) alone = inContext;
      } else if (failing > next && mayRunOn(next, failing) && !parse(next, failing, error)) {
        // A long string, a comment or a carried-over quoted text before it
        // may have run into an item that Lua refuses alone the same way:
        // the items before are looked at first.
        until = failing;
        continue;
      }
      reportItem(blamed, alone);
      next = blamed + 1;
    }
  }

  std::size_t batchEnd(std::size_t first, std::size_t count, std::size_t available) const {
    const std::size_t most = std::min(available, first + count);
    const std::size_t begin = offsetOf(items[first].firstLine);
    std::size_t end = first + 1;
    while (end < most && offsetOf(items[end].firstLine) - begin < batches.bytes) ++end;
    return end;
  }

  bool parse(std::size_t first, std::size_t end, ParseError& error) {
    const std::size_t from = offsetOf(items[first].firstLine);
    pieces.clear();
    if (items[first].kind == ItemKind::entry) pieces.push_back(kTableOpen);
    pieces.push_back(std::string_view(text).substr(from, itemsEnd(end) - from));
    if (tableOpenAfter(end - 1)) pieces.push_back(kTableClose);
    return parser.parse(pieces, error);
  }

  // Reports item `k`, which Lua refused alone with `error`; in a chain,
  // goes on after each broken line to the next.
  void reportItem(std::size_t k, const ParseError& error) {
    const Item& item = items[k];
    const std::size_t last = lastLineOf(k);
    std::size_t stop = lineAtLuaLine(item.firstLine, error.line, last);
    std::size_t blamed = lineToChange(stop, error, item.firstLine, last);
    std::size_t reported = 0;
    add(k, blamed, stop, item.firstLine, error, reported);
    ParseError again;
    while (item.kind == ItemKind::entry && blamed < last) {
      const std::size_t open = lineAt(blamed).openChains;
      if (open == 0 || open > kMostResumedChains || onlyClosingAfter(blamed, last)) break;
      const std::size_t start = blamed + 1;
      const std::size_t from = offsetOf(start);
      pieces.assign({kTableOpen, kResumedEntry});
      pieces.insert(pieces.end(), open, kOpenChain);
      pieces.push_back(std::string_view(text).substr(from, itemsEnd(k + 1) - from));
      if (tableOpenAfter(k)) pieces.push_back(kTableClose);
      if (parser.parse(pieces, again)) break;
      stop = lineAtLuaLine(start, again.line, last);
      blamed = std::max(lineToChange(stop, again, start, last), start);
      add(k, blamed, stop, start, again, reported);
    }
  }

  // A finding at the script line of `blamed`, unless it is the one
  // reported before for this item; Lua's message comes from a chunk that
  // begins at the text's line `chunkFirst`.
  void add(std::size_t k, std::size_t blamed, std::size_t stop, std::size_t chunkFirst,
           const ParseError& error, std::size_t& reported) {
    const std::size_t scriptLine = scriptLineOf(blamed, k);
    if (scriptLine == reported) return;
    reported = scriptLine;
    SegmentFinding found{scriptLine, FindingKind::luaSyntax, error, openedScriptLine(error, k, chunkFirst),
                         scriptLineOf(stop, k), error.escapeTooLarge && markedOn(stop), {}};
    if (items[k].kind == ItemKind::declaration) {
      // The declaration as output.lua has it: without the marks.
      std::string declaration(lineText(items[k].firstLine));
      const std::size_t lineStart = offsetOf(items[k].firstLine);
      for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
        if (*mark >= lineStart && *mark - lineStart < declaration.size()) {
          declaration.erase(*mark - lineStart + 1, 3);
        }
      }
      found.kind = FindingKind::unassignableVariable;
      found.declaration = std::move(declaration);
    }
    findings.push_back(std::move(found));
  }
};

}  // namespace

std::vector<SegmentFinding> checkSegment(Segment&& segment, const Batches& batches, LuaParser& parser) {
  SegmentCheck check(std::move(segment), batches, parser);
  return check.run();
}

Finding findingAt(const SegmentFinding& found, std::size_t lineOffset) {
  const auto moved = [lineOffset](std::size_t line) { return line == 0 ? 0 : line + lineOffset; };
  std::string message = found.error.openedLineAt != std::string::npos
                            ? messageOpenedAt(found.error, moved(found.openedLine))
                            : found.error.message;
  if (found.markedEscape) {
    message = "invalid escape sequence (Lua 5.4 and LuaJIT refuse a backslash before this "
              "character; Lua 5.1 drops the backslash)";
  }
  if (found.stopLine != found.line && found.stopLine != 0) {
    message += " (Lua stops on line " + std::to_string(moved(found.stopLine)) + ")";
  }
  if (found.kind == FindingKind::unassignableVariable) {
    const std::string name = found.declaration.substr(0, found.declaration.rfind(kDeclarationEnd));
    return {moved(found.line), found.kind,
            "Lua cannot assign to \"" + name + "\": its declaration \"" + found.declaration +
                "\" does not load (" + message + ")",
            {}};
  }
  return {moved(found.line), found.kind, std::move(message), {}};
}

}  // namespace brindle::check
