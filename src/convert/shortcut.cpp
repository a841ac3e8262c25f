#include "convert/shortcut.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "convert/rewrite.h"
#include "text/string_utils.h"

namespace brindle {
namespace {

// The tabs in `text`, found with memchr: most lines hold none after their
// indentation, and memchr passes over a line faster than a loop that counts.
std::size_t countTabs(std::string_view text) {
  std::size_t tabs = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\t', static_cast<std::size_t>(end - p))))) {
    ++tabs;
    ++p;
  }
  return tabs;
}

// The blanks a line begins with, counted four at a time while they last.
std::size_t leadingBlanks(std::string_view raw) {
  std::size_t leading = 0;
  while (raw.size() - leading >= 4 && raw.compare(leading, 4, "    ") == 0) leading += 4;
  while (leading < raw.size() && raw[leading] == ' ') ++leading;
  return leading;
}

// Sets `word` to `piece` less the whitespace at its front. Returns false
// when whitespace is left inside it: such a word is left to the general
// steps, which take the whitespace out.
bool wordOf(std::string_view piece, std::string_view& word) {
  while (!piece.empty() && isSpaceByte(piece.front())) piece.remove_prefix(1);
  if (std::any_of(piece.begin(), piece.end(), isSpaceByte)) return false;
  word = piece;
  return true;
}

// The piece of `text` from `from` to the next blank (or the end).
std::string_view pieceAt(std::string_view text, std::size_t from) {
  if (from > text.size()) return {};
  const std::size_t blank = text.find(' ', from);
  return text.substr(from, blank == std::string_view::npos ? blank : blank - from);
}

// Appends `text` with every colon replaced by `colon`.
void appendReplacingColons(std::string_view text, std::string_view colon, std::string& out) {
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(':', from);
    out.append(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) return;
    out.append(colon);
    from = at + 1;
  }
}

// A plain line: its text needs only its leading blanks made tabs, and no
// common rewrite applies. Most such lines are plain statements; `if`,
// `elif`, `else:` and `jump_out` take their rule here as well.
bool plainShortcut(std::string_view raw, ScriptLine& statement) {
  const std::size_t leading = leadingBlanks(raw);
  const std::string_view rest = raw.substr(leading);
  std::string& text = statement.text;
  text.assign(leading / 4, '\t').append(leading % 4, ' ');
  statement.indent = leading / 4 + countTabs(rest);
  statement.chainFlag = kPlainStatement;
  // With blanks left over after the tabs, the text before the first blank
  // holds only whitespace, and the first word is empty.
  if (leading % 4 != 0) {
    text.append(rest);
    return true;
  }
  const std::size_t blank = rest.find(' ');
  std::string_view first;
  if (!wordOf(rest.substr(0, blank), first)) return false;
  // The rule of a second word "path_end" comes before those of `else:` and
  // `elif`. A plain line holds no "pat", but a word is taken with the
  // whitespace inside it removed: a second word with whitespace inside is
  // left to the general steps.
  std::string_view second;
  if ((first == "else:" || first == "elif") && blank != std::string_view::npos &&
      !wordOf(pieceAt(rest, blank + 1), second)) {
    return false;
  }
  if (first == "if") {
    appendReplacingColons(rest, " then", text);
    statement.chainFlag = kOpensChain;
  } else if (first == "else:") {
    appendReplacingColons(rest, "", text);
    statement.chainFlag = kContinuesChain;
  } else if (first == "elif") {
    // Every "elif" becomes "elseif" once the colons are gone, the first word
    // among them; "elseif" holds no "elif", so the others are found after it.
    const auto at = static_cast<std::size_t>(first.data() - rest.data());
    const std::size_t firstWordEnd = text.append(rest.substr(0, at)).append("elseif").size();
    appendReplacingColons(rest.substr(at + first.size()), "", text);
    if (text.find("elif", firstWordEnd) != std::string::npos) replaceAll(text, "elif", "elseif");
    text.append(" then");
    statement.chainFlag = kContinuesChain;
  } else if (first == "jump_out") {
    std::string_view target;
    if (blank == std::string_view::npos || !wordOf(pieceAt(rest, blank + 1), target) ||
        target.empty()) {
      return false;  // no target: the general steps warn about it
    }
    // Usually the target occurs only where it stands; it is then wrapped there.
    const std::size_t at = blank + 1;
    if (rest.find(target) == at && rest.find(target, at + target.size()) == std::string_view::npos) {
      text.append(rest.substr(0, at)).append("(\"").append(target).append("\")");
      text.append(rest.substr(at + target.size()));
    } else {
      text.append(rest);
      quoteJumpTarget(text, target);
    }
  } else if (first == "label" || first == "path_end") {
    return false;
  } else {
    text.append(rest);
  }
  return true;
}

// What a line holds that decides whether it can take a shortcut.
struct Marks {
  bool dollar = false;      // a "$"
  bool cal = false;         // "cal", which may start a "call " to erase
  bool value = false;       // a "(", "T" or "F": a value rewrite may apply
  std::size_t updates = 0;  // how many "+=" and "-="
  std::size_t update = 0;   // where the first one is
};

// Looks through `rest`, the line after its indentation. Returns false when
// it holds whitespace other than single blanks.
bool markLine(std::string_view rest, Marks& marks) {
  // Most bytes are none of those looked for, and one test of a table lets
  // them pass.
  static constexpr auto kLookedFor = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = isSpaceByte(static_cast<char>(c));
    for (const unsigned char c : std::string_view("$c(TF=")) table[c] = true;
    return table;
  }();
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (!kLookedFor[static_cast<unsigned char>(c)]) continue;
    if (isSpaceByte(c)) {
      if (c != ' ' || rest[i - 1] == ' ') return false;  // rest[0] is no blank
    } else if (c == '$') {
      marks.dollar = true;
    } else if (c == 'c') {
      marks.cal |= rest.substr(i + 1, 2) == "al";
    } else if (c == '=') {
      if (i > 0 && (rest[i - 1] == '+' || rest[i - 1] == '-')) {
        if (marks.updates++ == 0) marks.update = i - 1;
      }
    } else {
      marks.value = true;
    }
  }
  return true;
}

// `$ name = value` and `$ name += value` lines with no "call " to erase and
// at most one "+=" or "-=". Normalising puts a blank after it; the erased
// "$" is the first byte after the indentation. An update whose name or value
// a value rewrite may change is left to the general steps, which rewrite
// the values before the update is written out.
bool dollarShortcut(std::string_view rest, const Marks& marks, std::string& text) {
  if (marks.cal || marks.updates > 1 || (marks.updates == 1 && marks.value)) return false;
  if (marks.updates == 0) {
    text.append(rest.substr(1));
  } else {
    // `$ name += value`: the update is the third word when the name, between
    // the first blank and the one before the "+=", holds no blank.
    const std::size_t at = marks.update;
    const std::string_view name = rest.substr(2, at > 3 ? at - 3 : 0);
    if (at > 3 && rest[at - 1] == ' ' && name.find(' ') == std::string_view::npos &&
        name != "path_end") {
      text.append(rest.substr(1, at - 1)).append("= ").append(name);
      text.append(1, ' ').append(1, rest[at]).append(1, ' ');
    } else {
      text.append(rest.substr(1, at + 1)).append(1, ' ');
    }
    text.append(rest.substr(at + 2));
  }
  if (marks.value) applyValueRewrites(text);
  return true;
}

// A line with something for the common rewrites: `$` and `call` statements
// and `path_end`.
bool markedShortcut(std::string_view raw, ScriptLine& statement) {
  const std::size_t leading = leadingBlanks(raw);
  const std::string_view rest = raw.substr(leading);
  Marks marks;
  if (leading % 4 != 0 || !markLine(rest, marks)) return false;
  std::string& text = statement.text;
  text.assign(leading / 4, '\t');
  statement.indent = leading / 4;
  statement.chainFlag = kPlainStatement;
  constexpr std::string_view kCall = "call ";
  constexpr std::string_view kPathEnd = "path_end";
  if (rest.substr(0, 2) == "$ ") {
    return dollarShortcut(rest, marks, text);
  } else if (rest.substr(0, kCall.size()) == kCall && !marks.dollar && marks.updates == 0) {
    text.append(rest.substr(kCall.size()));
    if (marks.value) applyValueRewrites(text);
  } else if (rest.substr(0, kPathEnd.size()) == kPathEnd &&
             (rest.size() == kPathEnd.size() || rest[kPathEnd.size()] == ' ') && !marks.dollar &&
             !marks.cal && !marks.value && marks.updates == 0) {
    text.append(kPathEnd).append("()").append(rest.substr(kPathEnd.size()));
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool shortcutStatement(std::string_view raw, bool plain, ScriptLine& statement,
                       bool& mayHoldPathEnd) {
  if (!plain) {
    mayHoldPathEnd = true;
    return markedShortcut(raw, statement);
  }
  // A plain line holds no "pat", and the rewrites of its rule form none,
  // but for taking colons out: "p:at" becomes "pat".
  if (!plainShortcut(raw, statement)) return false;
  mayHoldPathEnd = statement.chainFlag == kContinuesChain &&
                   statement.text.find("pat") != std::string::npos;
  return true;
}

bool variableShortcut(std::string_view raw, std::string_view& name) {
  const std::size_t leading = leadingBlanks(raw);
  const std::string_view rest = raw.substr(leading);
  if (leading % 4 != 0 || rest.substr(0, 2) != "$ ") return false;
  const std::size_t end = rest.find(' ', 2);
  if (end != std::string_view::npos && rest.compare(end, 4, "    ") == 0) return false;
  name = rest.substr(2, end == std::string_view::npos ? end : end - 2);
  return !name.empty() &&
         std::none_of(name.begin(), name.end(), [](char c) { return c == '=' || isSpaceByte(c); });
}

}  // namespace brindle
