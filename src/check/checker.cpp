#include "checker.h"

#include <algorithm>
#include <deque>
#include <future>
#include <system_error>
#include <thread>

#include "escapes.h"
#include "output_texts.h"
#include "script_lines.h"
#include "string_utils.h"

namespace brindle::check {
namespace {

// What opens a table around entries taken out of theirs, and closes it; no
// line feed, so that the lines of the chunk are those of the text.
const std::string kTableOpen = std::string(kLabelsTable) + "={";
constexpr std::string_view kTableClose = "}";
// An entry resumed after a broken line of its chain: its function, and an
// `if` for each chain still open, on the line before the rest.
constexpr std::string_view kResumedEntry = kEntryOpen.substr(kEntryOpen.find_first_not_of("\n\t"));
constexpr std::string_view kOpenChain = "if true then ";
// Lua nests at most about two hundred blocks; a chain resumed deeper than
// this is left at its first broken line.
constexpr std::size_t kMostResumedChains = 150;

enum class ItemKind { declaration, labelKey, entry };

// An item is the lines of the text from its first line up to the next
// item's first line; the lines after the last entry of a table (its closing
// "};") belong to that entry.
struct Item {
  ItemKind kind = ItemKind::entry;
  std::size_t firstLine = 0;  // of the text, from 0
};

std::string_view trimmed(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

}  // namespace

std::vector<std::size_t> lineStartsOf(std::string_view text) {
  std::vector<std::size_t> starts{0};
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
    starts.push_back(at + 1);
  }
  return starts;
}

// A run of whole items of the text with all the checker needs of them, so
// that it can be checked on a thread of its own: the text from line
// `firstLine` on, with the escapes only Lua 5.1 takes marked, the starts of
// its lines, the offsets of its marks, the items, and the writer's map of
// its lines. A segment that the rest of the text follows ends with the
// first line of the next item, which stays the last of `items`: what comes
// after an item decides how it is parsed.
struct Segment {
  std::string text;
  std::size_t firstLine = 0;
  std::vector<std::size_t> starts{0};
  std::vector<std::size_t> marks;
  std::vector<Item> items;
  std::vector<LuaLine> lines;  // from `firstLine` on
  bool carriageReturns = false;
  bool last = false;  // nothing follows it
};

// Checks a segment: gives its items to Lua, in batches; where a batch is
// refused, finds the item to blame, reports it and goes on after it.
struct SegmentCheck {
  SegmentCheck(Segment&& segment, const Batches& batches)
      : text(std::move(segment.text)), firstLine(segment.firstLine), starts(std::move(segment.starts)),
        marks(std::move(segment.marks)), items(std::move(segment.items)), lines(std::move(segment.lines)),
        carriageReturns(segment.carriageReturns), last(segment.last), batches(batches),
        batchItems(batches.mostItems) {}

  std::string text;
  std::size_t firstLine;
  std::vector<std::size_t> starts;
  std::vector<std::size_t> marks;
  std::vector<Item> items;
  std::vector<LuaLine> lines;
  bool carriageReturns;
  bool last;
  Batches batches;
  std::vector<Finding> findings;
  LuaParser parser;
  std::size_t next = 0;
  std::size_t aloneChecked = 0;  // items before this have been loaded alone
  std::size_t batchItems;
  std::vector<std::string_view> pieces;

  const LuaLine& lineAt(std::size_t line) const { return lines[line - firstLine]; }
  // Looks at every item of the segment.
  std::vector<Finding> run() {
    lookAt(last ? items.size() : items.size() - 1);
    return std::move(findings);
  }

  std::size_t offsetOf(std::size_t line) const { return starts[line - firstLine]; }
  std::size_t linesBegun() const { return firstLine + starts.size(); }
  std::string_view lineText(std::size_t line) const {
    const std::size_t from = offsetOf(line);
    const std::size_t to = line + 1 < linesBegun() ? offsetOf(line + 1) - 1 : text.size();
    return std::string_view(text).substr(from, to - from);
  }
  std::size_t itemsEnd(std::size_t end) const {
    return end < items.size() ? offsetOf(items[end].firstLine) : text.size();
  }
  std::size_t lastLineOf(std::size_t k) const {
    return (k + 1 < items.size() ? items[k + 1].firstLine : linesBegun()) - 1;
  }
  // Lua ends a line at a line feed, a carriage return, or a pair of the two
  // in either order; the text's lines end at line feeds alone. Where the
  // segment holds no carriage return, they are the same.

  // The number of line ends Lua counts in text[from, to).
  std::size_t luaLineEnds(std::size_t from, std::size_t to) const {
    std::size_t ends = 0;
    for (std::size_t at = from; at < to; ++at) {
      const char c = text[at];
      if (c != '\n' && c != '\r') continue;
      ++ends;
      if (at + 1 < to && (text[at + 1] == '\n' || text[at + 1] == '\r') && text[at + 1] != c) ++at;
    }
    return ends;
  }

  // The line of the text where Lua's line `luaLine` (from 1) of a chunk
  // that begins at the text's line `first` lies, at most `last`.
  std::size_t lineAtLuaLine(std::size_t first, std::size_t luaLine, std::size_t last) const {
    const std::size_t index = luaLine > 0 ? luaLine - 1 : 0;
    if (!carriageReturns) return std::min(first + index, last);
    std::size_t at = offsetOf(first);
    for (std::size_t ends = 0; ends < index && at < text.size(); ++at) {
      const char c = text[at];
      if (c != '\n' && c != '\r') continue;
      ++ends;
      if (at + 1 < text.size() && (text[at + 1] == '\n' || text[at + 1] == '\r') && text[at + 1] != c) ++at;
    }
    const auto line = std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1;
    return std::min(firstLine + static_cast<std::size_t>(line), last);
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
      } else if (failing > next && mayOpenLongBracket(next, failing) && !parse(next, failing, error)) {
        // A long string or comment opened before it may have run into an
        // item that Lua refuses alone the same way: the items before are
        // looked at first.
        until = failing;
        continue;
      }
      reportItem(blamed, alone);
      next = blamed + 1;
    }
  }

  // Whether items [first, end) may open a long string or comment, which
  // runs on over line ends: "[[" or "[=".
  bool mayOpenLongBracket(std::size_t first, std::size_t end) const {
    const std::string_view items = std::string_view(text).substr(
        offsetOf(this->items[first].firstLine), itemsEnd(end) - offsetOf(this->items[first].firstLine));
    return findText(items, "[[") != std::string_view::npos || findText(items, "[=") != std::string_view::npos;
  }

  std::size_t batchEnd(std::size_t first, std::size_t count, std::size_t available) const {
    const std::size_t most = std::min(available, first + count);
    const std::size_t begin = offsetOf(items[first].firstLine);
    std::size_t end = first + 1;
    while (end < most && offsetOf(items[end].firstLine) - begin < batches.bytes) ++end;
    return end;
  }

  // Whether a table is still open after item `k`: its entries go on.
  bool tableOpenAfter(std::size_t k) const {
    return items[k].kind != ItemKind::declaration && k + 1 < items.size() &&
           items[k + 1].kind == ItemKind::entry;
  }

  bool parse(std::size_t first, std::size_t end, ParseError& error) {
    const std::size_t from = offsetOf(items[first].firstLine);
    pieces.clear();
    if (items[first].kind == ItemKind::entry) pieces.push_back(kTableOpen);
    pieces.push_back(std::string_view(text).substr(from, itemsEnd(end) - from));
    if (tableOpenAfter(end - 1)) pieces.push_back(kTableClose);
    return parser.parse(pieces, error);
  }

  // The item, of [first, end), that holds the line.
  std::size_t itemAt(std::size_t line, std::size_t first, std::size_t end) const {
    const auto begin = items.begin() + static_cast<std::ptrdiff_t>(first);
    const auto at = std::upper_bound(begin, items.begin() + static_cast<std::ptrdiff_t>(end), line,
                                     [](std::size_t l, const Item& item) { return l < item.firstLine; });
    return at == begin ? first : static_cast<std::size_t>(at - items.begin()) - 1;
  }

  // The line the author must change, of [from, line], for an error Lua met
  // on `line` of a chunk that begins at line `from`: the line that opened a
  // bracket left open; an if or elif line Lua found no `then` on; a
  // statement that did not end, where Lua stopped at the first token of the
  // line after it; otherwise that line.
  std::size_t lineToChange(std::size_t line, std::string_view message, std::size_t from,
                           std::size_t last) const {
    // A bracket left open: it is closed on the line that opened it.
    for (const std::string_view opened : {"(to close '(' at line ", "(to close '[' at line ",
                                          "(to close '{' at line "}) {
      const std::size_t at = message.find(opened);
      if (at == std::string_view::npos) continue;
      std::size_t luaLine = 0;
      for (std::size_t k = at + opened.size(); k < message.size() && message[k] >= '0' && message[k] <= '9' &&
                                               k - at - opened.size() < 18;
           ++k) {
        luaLine = luaLine * 10 + static_cast<std::size_t>(message[k] - '0');
      }
      if (luaLine > 0) return std::max(lineAtLuaLine(from, luaLine, last), from);
    }
    if (message.starts_with("'then' expected")) {
      for (std::size_t l = line;; --l) {
        const LuaLineRole role = lineAt(l).role;
        if (role == LuaLineRole::chainOpen || role == LuaLineRole::chainGoesOn) return l;
        if (l == from) return line;
      }
    }
    if (message.starts_with("unfinished long")) {
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
    constexpr std::string_view kNear = "near '";
    const std::size_t near = message.find(kNear);
    if (near == std::string_view::npos || line == from) return line;
    const std::string_view quoted = message.substr(near + kNear.size());
    const std::string_view token = quoted.substr(0, quoted.rfind('\''));
    if (token.empty() || !trimmed(lineText(line)).starts_with(token)) return line;
    std::size_t before = line - 1;
    while (before > from && trimmed(lineText(before)).empty()) --before;
    const std::string_view ended = trimmed(lineText(before));
    if (ended.empty()) return line;
    if (message.starts_with("'=' expected")) {
      // An expression where a statement should end: the line before, unless
      // it opens a block, after which the line itself begins wrong.
      const bool opensBlock = ended.ends_with("then") || ended.ends_with("else") ||
                              ended.ends_with(trimmed(kResumedEntry));
      return opensBlock ? line : before;
    }
    // A line that ends in an operator or an open bracket goes on into the
    // next.
    constexpr std::string_view kGoesOn = "([{,=+-*/%^<>~.";
    const bool goesOn = kGoesOn.find(ended.back()) != std::string_view::npos ||
                        ended.ends_with(" and") || ended.ends_with(" or") || ended.ends_with(" not");
    return goesOn ? before : line;
  }

  // The script line of `line`, or of the nearest line before it in item
  // `k` that has one.
  std::size_t scriptLineOf(std::size_t line, std::size_t k) const {
    std::size_t scriptLine = lineAt(line).scriptLine;
    for (std::size_t l = line; scriptLine == 0 && l > items[k].firstLine;) scriptLine = lineAt(--l).scriptLine;
    return scriptLine;
  }

  bool markedOn(std::size_t line) const {
    const std::size_t from = offsetOf(line);
    const std::size_t to = line + 1 < linesBegun() ? offsetOf(line + 1) : text.size();
    const auto at = std::lower_bound(marks.begin(), marks.end(), from);
    return at != marks.end() && *at < to;
  }

  // Reports item `k`, which Lua refused alone with `error`; in a chain,
  // goes on after each broken line to the next.
  void reportItem(std::size_t k, const ParseError& error) {
    const Item& item = items[k];
    const std::size_t last = lastLineOf(k);
    std::size_t stop = lineAtLuaLine(item.firstLine, error.line, last);
    std::size_t blamed = lineToChange(stop, error.message, item.firstLine, last);
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
      blamed = std::max(lineToChange(stop, again.message, start, last), start);
      add(k, blamed, stop, start, again, reported);
    }
  }

  // Whether the lines after `line`, to `last`, only close chains and the
  // table: nothing there to parse.
  bool onlyClosingAfter(std::size_t line, std::size_t last) const {
    for (std::size_t l = line + 1; l <= last; ++l) {
      const LuaLineRole role = lineAt(l).role;
      if (role != LuaLineRole::chainEnd && role != LuaLineRole::tableEnd) return false;
    }
    return true;
  }

  // Lua's message with the line it names in the chunk, as in "(to close
  // 'if' at line 3)", made the script's line.
  std::string inScriptLines(std::string message, std::size_t k, std::size_t chunkFirst) const {
    constexpr std::string_view kAtLine = "' at line ";
    const std::size_t at = message.find(kAtLine);
    if (at == std::string::npos) return message;
    const std::size_t digits = at + kAtLine.size();
    std::size_t end = digits;
    std::size_t luaLine = 0;
    while (end < message.size() && message[end] >= '0' && message[end] <= '9' && end - digits < 18) {
      luaLine = luaLine * 10 + static_cast<std::size_t>(message[end++] - '0');
    }
    if (end == digits) return message;
    const std::size_t scriptLine = scriptLineOf(lineAtLuaLine(chunkFirst, luaLine, lastLineOf(k)), k);
    return message.replace(digits, end - digits, std::to_string(scriptLine));
  }

  // A finding at the script line of `blamed`, unless it is the one
  // reported before for this item; Lua's message comes from a chunk that
  // begins at the text's line `chunkFirst`.
  void add(std::size_t k, std::size_t blamed, std::size_t stop, std::size_t chunkFirst,
           const ParseError& error, std::size_t& reported) {
    const std::size_t scriptLine = scriptLineOf(blamed, k);
    if (scriptLine == reported) return;
    reported = scriptLine;
    std::string message = inScriptLines(error.message, k, chunkFirst);
    if (message.starts_with(kMarkedEscapeMessage) && markedOn(stop)) {
      message = "invalid escape sequence (Lua 5.4 and LuaJIT refuse a backslash before this "
                "character; Lua 5.1 drops the backslash)";
    }
    const std::size_t stopLine = scriptLineOf(stop, k);
    if (stopLine != scriptLine && stopLine != 0) {
      message += " (Lua stops on line " + std::to_string(stopLine) + ")";
    }
    if (items[k].kind == ItemKind::declaration) {
      // The declaration as output.lua has it: without the marks.
      std::string declaration(lineText(items[k].firstLine));
      const std::size_t lineStart = offsetOf(items[k].firstLine);
      for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
        if (*mark >= lineStart && *mark - lineStart < declaration.size()) {
          declaration.erase(*mark - lineStart + 1, 3);
        }
      }
      const std::string name = declaration.substr(0, declaration.rfind(kDeclarationEnd));
      findings.push_back({scriptLine, FindingKind::unassignableVariable,
                          "Lua cannot assign to \"" + name + "\": its declaration \"" + declaration +
                              "\" does not load (" + message + ")",
                          {}});
      return;
    }
    findings.push_back({scriptLine, FindingKind::luaSyntax, std::move(message), {}});
  }
};

// Gathers the text into segments as it arrives and has each checked, on
// threads of their own where there are processors for them, the findings
// joined in the order of the segments.
struct Checker::State {
  State(LineMap& map, std::string_view script, const Batches& batches, std::vector<Finding>& findings)
      : map(map), script(script), batches(batches), findings(findings),
        threads(batches.threads != 0 ? batches.threads : std::max(1u, std::thread::hardware_concurrency())) {}

  ~State() {
    for (std::future<std::vector<Finding>>& checked : pending) {
      if (checked.valid()) checked.wait();
    }
  }

  LineMap& map;
  ScriptLineFinder script;
  Batches batches;
  std::vector<Finding>& findings;
  std::size_t threads;
  Segment current;
  std::string marked;
  std::vector<std::size_t> pieceMarks;
  std::deque<std::future<std::vector<Finding>>> pending;

  std::size_t linesBegun() const { return current.firstLine + current.starts.size(); }

  void take(std::string_view piece) {
    Segment& at = current;
    pieceMarks.clear();
    if (markEscapesNewerLuasRefuse(piece, marked, pieceMarks)) piece = marked;
    for (const std::size_t mark : pieceMarks) at.marks.push_back(at.text.size() + mark);
    const std::size_t base = at.text.size();
    at.text.append(piece);
    at.carriageReturns = at.carriageReturns || piece.find('\r') != std::string_view::npos;
    for (std::size_t feed = piece.find('\n'); feed != std::string_view::npos; feed = piece.find('\n', feed + 1)) {
      at.starts.push_back(base + feed + 1);
      const std::size_t line = linesBegun() - 1;
      const LuaLineRole role = lineOf(map, line).role;
      if (!beginsItem(role)) continue;
      at.items.push_back({role == LuaLineRole::declaration ? ItemKind::declaration
                          : role == LuaLineRole::tableKey  ? ItemKind::labelKey
                                                           : ItemKind::entry,
                          line});
    }
    // A segment is cut once it is long enough, before its last item, which
    // waits until the next begins, which ends it.
    if (at.items.size() >= 2 && at.text.size() - at.starts[at.items.front().firstLine - at.firstLine] >= batches.segmentBytes) {
      cut();
    }
  }

  // Hands on the current segment but its last item, which starts the next.
  void cut() {
    Segment& at = current;
    const Item next = at.items.back();
    const std::size_t index = next.firstLine - at.firstLine;
    const std::size_t offset = at.starts[index];
    Segment rest;
    rest.text = at.text.substr(offset);
    rest.firstLine = next.firstLine;
    rest.starts.assign(at.starts.begin() + static_cast<std::ptrdiff_t>(index), at.starts.end());
    for (std::size_t& start : rest.starts) start -= offset;
    const auto kept = std::lower_bound(at.marks.begin(), at.marks.end(), offset);
    rest.marks.assign(kept, at.marks.end());
    for (std::size_t& mark : rest.marks) mark -= offset;
    rest.items.push_back(next);
    rest.carriageReturns = rest.text.find('\r') != std::string::npos;
    at.text.resize(offset);
    at.starts.resize(index + 1);
    at.marks.erase(kept, at.marks.end());
    hand(std::move(at), next.firstLine + 1);
    current = std::move(rest);
    letLinesGo(map, next.firstLine);
  }

  // Has `segment`, whose lines run to `end`, checked.
  void hand(Segment&& segment, std::size_t end) {
    for (std::size_t line = segment.firstLine; line < end; ++line) segment.lines.push_back(lineOf(map, line));
    auto check = std::make_shared<SegmentCheck>(std::move(segment), batches);
    const auto run = [check] { return check->run(); };
    if (threads > 1) {
      if (pending.size() >= threads) collect();
      try {
        pending.push_back(std::async(std::launch::async, run));
        return;
      } catch (const std::system_error&) {
        // No thread to be had: checked here, after those handed on before.
      }
    }
    while (!pending.empty()) collect();
    add(run());
  }

  void collect() {
    std::vector<Finding> checked = pending.front().get();
    pending.pop_front();
    add(std::move(checked));
  }

  // The findings of the next segment, with the fix where the script line
  // shows a common mistake.
  void add(std::vector<Finding> checked) {
    for (Finding& finding : checked) {
      if (finding.kind == FindingKind::luaSyntax) finding.hints = hintsFor(script.line(finding.line));
      findings.push_back(std::move(finding));
    }
  }

  void finish() {
    current.last = true;
    const std::size_t end = linesBegun();
    hand(std::move(current), end);
    while (!pending.empty()) collect();
  }
};

Checker::Checker(LineMap& lines, std::string_view script, const Batches& batches,
                 std::vector<Finding>& findings)
    : state_(std::make_unique<State>(lines, script, batches, findings)) {}

Checker::~Checker() = default;

void Checker::take(std::string_view piece) { state_->take(piece); }

void Checker::finish() { state_->finish(); }

}  // namespace brindle::check
