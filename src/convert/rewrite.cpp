#include "convert/rewrite.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "text/scan.h"
#include "text/string_utils.h"

namespace brindle {
namespace {

// The rewrites after "$" and "call ", in order: " (" becomes "(", the four
// keyword arguments "is_h=True", "is_end=True", "is_h=False" and
// "is_end=False" their bare value, then "False" and "True" lower case.
constexpr std::pair<std::string_view, std::string_view> kValueRewrites[] = {
    {" (", "("},
    {"is_h=True", "true"},
    {"is_end=True", "true"},
    {"is_h=False", "false"},
    {"is_end=False", "false"},
    {"False", "false"},
    {"True", "true"},
};

// What commonRewriteCandidates reports.
constexpr unsigned kMayEraseDollar = 1;    // a "$"
constexpr unsigned kMayEraseCall = 2;      // "cal", the start of "call "
constexpr unsigned kMayRewriteValues = 4;  // " (", "Tru" or "Fal"

// Which common rewrites may change `text`: a cheap test that lets most lines
// skip them.
unsigned commonRewriteCandidates(std::string_view text) {
  unsigned found = 0;
  scanWindows(text, [&found](const unsigned char* p) {
    unsigned char dollar = 0;
    unsigned char call = 0;
    unsigned char values = 0;
    for (std::size_t i = 0; i < kScanStep; ++i) {
      const unsigned char a = p[i];
      const unsigned char b = p[i + 1];
      const unsigned char c = p[i + 2];
      dollar |= a == '$';
      call |= (a == 'c') & (b == 'a') & (c == 'l');
      values |= ((a == ' ') & (b == '(')) | ((a == 'T') & (b == 'r') & (c == 'u')) |
                ((a == 'F') & (b == 'a') & (c == 'l'));
    }
    found |= (dollar != 0 ? kMayEraseDollar : 0) | (call != 0 ? kMayEraseCall : 0) |
             (values != 0 ? kMayRewriteValues : 0);
  });
  return found;
}

}  // namespace

// One scan, in place, gives the same text as one replaceAll per row of
// kValueRewrites: no two search texts can overlap unless one holds
// the other, and then the longer comes first; no replacement can form a new
// occurrence of a later row; and none makes the text longer.
void applyValueRewrites(std::string& text) {
  char* const begin = text.data();
  const char* const end = begin + text.size();
  char* out = begin;
  for (const char* in = begin; in != end;) {
    const char c = *in;
    if (c == ' ' || c == 'i' || c == 'F' || c == 'T') {
      const auto* rule = std::find_if(
          std::begin(kValueRewrites), std::end(kValueRewrites), [&](const auto& r) {
            return r.first.front() == c && static_cast<std::size_t>(end - in) >= r.first.size() &&
                   std::equal(r.first.begin(), r.first.end(), in);
          });
      if (rule != std::end(kValueRewrites)) {
        out = std::copy(rule->second.begin(), rule->second.end(), out);
        in += rule->first.size();
        continue;
      }
    }
    *out++ = *in++;
  }
  text.resize(static_cast<std::size_t>(out - begin));
}

void quoteJumpTarget(std::string& line, std::string_view target) {
  std::string quoted;
  quoted.reserve(target.size() + 4);
  quoted.append("(\"").append(target).append("\")");
  replaceAll(line, target, quoted);
}

void expandUpdate(std::string& line, std::string_view name) {
  std::string plus("= ");
  plus.append(name).append(" +");
  std::string minus("= ");
  minus.append(name).append(" -");
  replaceAll(line, "+=", plus);
  replaceAll(line, "-=", minus);
}

std::size_t applyCommonRewrites(std::string_view line, std::string& text) {
  text.assign(line);
  unsigned candidates = commonRewriteCandidates(text);
  // Erasing joins the bytes on either side, which may form a text that a
  // later rewrite looks for; the candidates are then taken anew.
  if ((candidates & kMayEraseDollar) != 0) {
    eraseFirst(text, "$");
    candidates = commonRewriteCandidates(text);
  }
  if ((candidates & kMayEraseCall) != 0) {
    const std::size_t before = text.size();
    eraseFirst(text, "call ");
    if (text.size() != before) candidates = commonRewriteCandidates(text);
  }
  if ((candidates & kMayRewriteValues) != 0) applyValueRewrites(text);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t'));
}

void rewriteStatementInto(std::string_view line, const Words& words,
                          VariableNames* variableNames, std::string* warning,
                          ScriptLine& result, bool commonRewritesMayApply) {
  const std::string_view first = words.first();
  const std::string_view second = words.second();
  const std::string_view third = words.third();

  if (first == "$" && variableNames) recordVariable(*variableNames, second);

  std::string& text = result.text;
  if (commonRewritesMayApply) {
    result.indent = applyCommonRewrites(line, text);
  } else {
    text.assign(line);
    result.indent = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
  }
  result.chainFlag = kPlainStatement;

  if (first == "jump_out") {
    if (second.empty()) {
      if (warning) *warning = "jump_out has no target; the line is left unquoted";
    } else {
      quoteJumpTarget(text, second);
    }
  } else if (first == "if") {
    replaceAll(text, ":", " then");
    result.chainFlag = kOpensChain;
  } else if (first == "path_end") {
    // A call wherever it stands: inside a chain body nothing else would add
    // the parentheses, and a bare `path_end` does not load as Lua.
    const std::size_t at = text.find("path_end");
    if (at != std::string::npos) text.insert(at + 8, "()");
  } else if (words.count >= 2 && second == "path_end") {
    // Left as it is; the writer's final pass makes it a call.
  } else if (first == "else:" || first == "elif") {
    replaceAll(text, ":", "");
    if (first == "elif") {
      replaceAll(text, "elif", "elseif");
      text.append(" then");
    }
    result.chainFlag = kContinuesChain;
  } else if (words.count >= 3 && (third == "+=" || third == "-=")) {
    expandUpdate(text, second);
  }
}

ScriptLine rewriteStatement(std::string line, const std::vector<std::string>& tokens,
                            VariableNames& variableNames, std::string* warning) {
  Words words;
  wordsOf(tokens, words);
  ScriptLine result;
  rewriteStatementInto(line, words, &variableNames, warning, result);
  return result;
}

}  // namespace brindle
