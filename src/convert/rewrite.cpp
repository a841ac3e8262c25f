#include "convert/rewrite.h"

#include <algorithm>
#include <string_view>

#include "text/string_utils.h"

namespace brindle {
namespace {

std::string_view word(const std::vector<std::string>& tokens, std::size_t index) {
  return index < tokens.size() ? std::string_view(tokens[index]) : std::string_view();
}

void applyCommonRewrites(std::string& line) {
  eraseFirst(line, "$");
  eraseFirst(line, "call ");
  replaceAll(line, " (", "(");
  // The whole keyword-argument forms go first, so that only other "True" and
  // "False" texts are left for the plain case change below.
  replaceAll(line, "is_h=True", "true");
  replaceAll(line, "is_end=True", "true");
  replaceAll(line, "is_h=False", "false");
  replaceAll(line, "is_end=False", "false");
  replaceAll(line, "False", "false");
  replaceAll(line, "True", "true");
}

// Turns `jump_out target` into `jump_out ("target")`, wrapping the target
// wherever it occurs in the line.
void quoteJumpTarget(std::string& line, std::string_view target) {
  std::string quoted;
  quoted.reserve(target.size() + 4);
  quoted.append("(\"").append(target).append("\")");
  replaceAll(line, target, quoted);
}

// Turns `name += value` into `name = name + value` (and `-=` likewise). Both
// operators are rewritten whichever one chose the rule.
void expandUpdate(std::string& line, std::string_view name) {
  std::string plus("= ");
  plus.append(name).append(" +");
  std::string minus("= ");
  minus.append(name).append(" -");
  replaceAll(line, "+=", plus);
  replaceAll(line, "-=", minus);
}

}  // namespace

ScriptLine rewriteStatement(std::string line, const std::vector<std::string>& tokens,
                            VariableNames& variableNames, std::string* warning) {
  const std::string_view first = word(tokens, 0);
  const std::string_view second = word(tokens, 1);
  const std::string_view third = word(tokens, 2);

  if (first == "$") recordVariable(variableNames, second);
  applyCommonRewrites(line);

  ScriptLine result;
  result.indent = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));

  if (first == "jump_out") {
    if (second.empty()) {
      if (warning) *warning = "jump_out has no target; the line is left unquoted";
    } else {
      quoteJumpTarget(line, second);
    }
  } else if (first == "if") {
    replaceAll(line, ":", " then");
    result.chainFlag = kOpensChain;
  } else if (first == "path_end") {
    // A call wherever it stands: inside a chain body nothing else would add
    // the parentheses, and a bare `path_end` does not load as Lua.
    const std::size_t at = line.find("path_end");
    if (at != std::string::npos) line.insert(at + 8, "()");
  } else if (tokens.size() >= 2 && second == "path_end") {
    // Left as it is; the writer's final pass makes it a call.
  } else if (first == "else:" || first == "elif") {
    replaceAll(line, ":", "");
    if (first == "elif") {
      replaceAll(line, "elif", "elseif");
      line.append(" then");
    }
    result.chainFlag = kContinuesChain;
  } else if (tokens.size() >= 3 && (third == "+=" || third == "-=")) {
    expandUpdate(line, second);
  }

  result.text = std::move(line);
  return result;
}

}  // namespace brindle
