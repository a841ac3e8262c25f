#include "checker.h"

#include <algorithm>
#include <string>

#include "escapes.h"
#include "lua_parser.h"
#include "output_texts.h"

namespace brindle::check {
namespace {

// At most this many items, and about this many bytes, go to Lua at once: a
// chunk far below every Lua's limits, and little to parse again after an
// error. After an error a batch starts small and doubles with each batch
// Lua takes, so that where errors come thick (a string left open in every
// line runs to the end of its batch) each costs little, and where they are
// rare the batches are long.
constexpr std::size_t kFirstBatchItems = 16;
constexpr std::size_t kMostBatchItems = 4096;
constexpr std::size_t kBatchBytes = std::size_t{1} << 18;

// What opens a table around entries taken out of theirs, and closes it; no
// line feed, so that the lines of the chunk are those of the text.
const std::string kTableOpen = std::string(kLabelsTable) + "={";
constexpr std::string_view kTableClose = "}";

// The text Lua is given: the Lua text, with the escapes only Lua 5.1 takes
// marked, and its own line starts where marks moved them.
struct ParsedText {
  std::string_view text;
  const std::vector<std::size_t>* lineStarts;
  std::vector<std::size_t> marks;  // sorted offsets of marked backslashes
};

class Checker {
 public:
  Checker(const LuaText& lua, const ParsedText& parsed, std::vector<Finding>& findings)
      : lua_(lua), parsed_(parsed), findings_(findings) {}

  // Gives every item to Lua, in batches; where a batch is refused, finds the
  // item to blame, reports it and goes on after it.
  void parseAll() {
    const std::size_t count = lua_.items.size();
    std::size_t next = 0;
    std::size_t aloneChecked = 0;  // items before this have been loaded alone
    std::size_t batchItems = kMostBatchItems;
    ParseError error;
    while (next < count) {
      const std::size_t end = batchEnd(next, batchItems);
      if (parse(next, end, error)) {
        next = end;
        batchItems = std::min(2 * batchItems, kMostBatchItems);
        continue;
      }
      batchItems = kFirstBatchItems;
      const std::size_t failing = itemAt(lua_.items[next].firstLine + lineIndex(error), next, end);
      // Usually the item Lua stopped in is to blame, and refused alone the
      // same way. If it loads alone, or is refused otherwise, an earlier
      // item of the batch may have left something open that ran into it:
      // the first that Lua refuses alone is to blame.
      const std::size_t offset = lua_.items[failing].firstLine - lua_.items[next].firstLine;
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
      }
      report(blamed, alone);
      next = blamed + 1;
    }
  }

 private:
  static std::size_t lineIndex(const ParseError& error) { return error.line > 0 ? error.line - 1 : 0; }

  std::size_t batchEnd(std::size_t first, std::size_t items) const {
    const std::size_t most = std::min(lua_.items.size(), first + items);
    const std::size_t begin = lineOffset(lua_.items[first].firstLine);
    std::size_t end = first + 1;
    while (end < most && lineOffset(lua_.items[end].firstLine) - begin < kBatchBytes) ++end;
    return end;
  }

  std::size_t lineOffset(std::size_t line) const { return (*parsed_.lineStarts)[line]; }
  std::size_t itemsEndOffset(std::size_t end) const {
    return end < lua_.items.size() ? lineOffset(lua_.items[end].firstLine) : parsed_.text.size();
  }

  // Whether a table is still open after item `k`: its entries go on.
  bool tableOpenAfter(std::size_t k) const {
    return lua_.items[k].kind != ItemKind::declaration && k + 1 < lua_.items.size() &&
           lua_.items[k + 1].kind == ItemKind::entry;
  }

  bool parse(std::size_t first, std::size_t end, ParseError& error) {
    const std::size_t from = lineOffset(lua_.items[first].firstLine);
    pieces_.clear();
    if (lua_.items[first].kind == ItemKind::entry) pieces_.push_back(kTableOpen);
    pieces_.push_back(parsed_.text.substr(from, itemsEndOffset(end) - from));
    if (tableOpenAfter(end - 1)) pieces_.push_back(kTableClose);
    return parser_.parse(pieces_, error);
  }

  // The item, of [first, end), that holds the line.
  std::size_t itemAt(std::size_t line, std::size_t first, std::size_t end) const {
    const auto at = std::upper_bound(
        lua_.items.begin() + static_cast<std::ptrdiff_t>(first), lua_.items.begin() + static_cast<std::ptrdiff_t>(end),
        line, [](std::size_t l, const LuaItem& item) { return l < item.firstLine; });
    return at == lua_.items.begin() + static_cast<std::ptrdiff_t>(first)
               ? first
               : static_cast<std::size_t>(at - lua_.items.begin()) - 1;
  }

  // Reports item `k`, which Lua refused alone with `error`.
  void report(std::size_t k, const ParseError& error) {
    const LuaItem& item = lua_.items[k];
    const std::size_t lastLine =
        (k + 1 < lua_.items.size() ? lua_.items[k + 1].firstLine : lua_.lines.lines.size()) - 1;
    const std::size_t line = std::min(item.firstLine + lineIndex(error), lastLine);
    const auto scriptLineOf = [this](std::size_t l) { return lua_.lines.lines[l].scriptLine; };
    std::size_t scriptLine = scriptLineOf(line);
    for (std::size_t l = line; scriptLine == 0 && l > item.firstLine;) scriptLine = scriptLineOf(--l);
    std::string message = error.message;
    if (message.compare(0, kMarkedEscapeMessage.size(), kMarkedEscapeMessage) == 0 && markedOn(line)) {
      message = "invalid escape sequence (Lua 5.4 and LuaJIT refuse a backslash before this "
                "character; Lua 5.1 drops the backslash)";
    }
    if (item.kind == ItemKind::declaration) {
      const std::string_view text = std::string_view(lua_.text).substr(lua_.lineStarts[item.firstLine]);
      const std::string_view declaration = text.substr(0, text.find('\n'));
      const std::string_view name = declaration.substr(0, declaration.rfind(kDeclarationEnd));
      findings_.push_back({scriptLine, FindingKind::unassignableVariable,
                           "Lua cannot assign to \"" + std::string(name) + "\": its declaration \"" +
                               std::string(declaration) + "\" does not load (" + message + ")"});
    } else {
      findings_.push_back({scriptLine, FindingKind::luaSyntax, message});
    }
  }

  bool markedOn(std::size_t line) const {
    const std::size_t from = lineOffset(line);
    const std::size_t to = line + 1 < parsed_.lineStarts->size() ? lineOffset(line + 1) : parsed_.text.size();
    const auto at = std::lower_bound(parsed_.marks.begin(), parsed_.marks.end(), from);
    return at != parsed_.marks.end() && *at < to;
  }

  const LuaText& lua_;
  const ParsedText& parsed_;
  std::vector<Finding>& findings_;
  LuaParser parser_;
  std::vector<std::string_view> pieces_;
};

}  // namespace

void findLuaRefusals(const LuaText& lua, std::vector<Finding>& findings) {
  if (lua.items.empty()) return;
  ParsedText parsed{lua.text, &lua.lineStarts, {}};
  std::string markedText;
  std::vector<std::size_t> markedStarts;
  if (markEscapesNewerLuasRefuse(lua.text, markedText, parsed.marks)) {
    markedStarts = lineStartsOf(markedText);
    parsed.text = markedText;
    parsed.lineStarts = &markedStarts;
  }
  Checker(lua, parsed, findings).parseAll();
}

}  // namespace brindle::check
