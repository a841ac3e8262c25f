#include "convert_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "normalise.h"
#include "decode.h"
#include "output_texts.h"
#include "scan.h"
#include "variables.h"
#include "words.h"
#include "rewrite.h"
#include "statements.h"
#include "writer.h"
#include "reference.h"

namespace brindle::fuzz {
namespace {

// What a second, independent reading of the input says a statement must be.
struct ExpectedStatement {
  std::size_t indent = 0;
  ChainFlag chainFlag = ChainFlag::plainStatement;
};

struct ExpectedBlock {
  std::string name;
  std::vector<ExpectedStatement> statements;
};

struct ExpectedScript {
  std::vector<ExpectedBlock> blocks;
  std::size_t lineCount = 0;  // line feeds plus one
  bool malformed = false;     // UTF-16 that does not decode: no script at all
};

void readLine(std::string_view raw, ExpectedScript& expected) {
  if (raw.empty()) return;
  std::string line = referenceReplace(raw, "    ", "\t");
  line = referenceReplace(line, "+=", "+= ");
  line = referenceReplace(line, "-=", "-= ");
  const std::vector<std::string> words = referenceSplit(line, ' ');
  const std::string second = words.size() > 1 ? words[1] : std::string();

  if (words[0] == "label") {
    std::string name = second;
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.erase(colon, 1);
    expected.blocks.push_back({name, {}});
    return;
  }
  if (expected.blocks.empty()) return;  // before the first label: stored nowhere

  ExpectedStatement statement;
  statement.indent = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
  if (words[0] == "if") {
    statement.chainFlag = ChainFlag::opensChain;
  } else if ((words[0] == "else:" || words[0] == "elif") && second != "path_end") {
    // `else: path_end` is taken by the path_end rule before the chain rule.
    statement.chainFlag = ChainFlag::continuesChain;
  }
  expected.blocks.back().statements.push_back(statement);
}

// Cuts the input into lines byte by byte: a line ends at a line feed, and a
// carriage return right before that line feed belongs to the line end. A
// UTF-8 byte-order mark at the start and Ctrl-Z bytes at the very end are no
// part of the script; a file with a UTF-16 byte-order mark is read as the
// text it decodes to, and a lone Ctrl-Z byte after its last whole character
// is left out too.
ExpectedScript readIndependently(std::string_view input) {
  std::string decoded;
  const bool bigEndian = input.starts_with("\xFE\xFF");
  if (bigEndian || input.starts_with("\xFF\xFE")) {
    input.remove_prefix(2);
    if (input.size() % 2 == 1 && input.back() == '\x1A') input.remove_suffix(1);
    if (!referenceDecodeUtf16(input, bigEndian, decoded)) return {{}, 0, true};
    input = decoded;
  } else if (input.starts_with("\xEF\xBB\xBF")) {
    input.remove_prefix(3);
  }
  while (input.ends_with('\x1A')) input.remove_suffix(1);
  ExpectedScript expected;
  std::string line;
  expected.lineCount = 1;
  for (const char c : input) {
    if (c != '\n') {
      line.push_back(c);
      continue;
    }
    ++expected.lineCount;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    readLine(line, expected);
    line.clear();
  }
  readLine(line, expected);
  return expected;
}

std::string describeStatement(std::size_t block, std::size_t index) {
  return "statement " + std::to_string(index) + " of label block " + std::to_string(block);
}

std::string compareRecords(const Script& script, const ExpectedScript& expected) {
  if (expected.malformed != !script.error.empty()) {
    return expected.malformed ? "malformed UTF-16 was read as a script"
                              : "a readable file was refused: " + script.error;
  }
  if (script.labelBlocks.size() != expected.blocks.size()) {
    return "the input has " + std::to_string(expected.blocks.size()) +
           " label statements but the conversion built " +
           std::to_string(script.labelBlocks.size()) + " label blocks";
  }
  for (std::size_t b = 0; b < expected.blocks.size(); ++b) {
    const LabelBlock& block = script.labelBlocks[b];
    const ExpectedBlock& want = expected.blocks[b];
    if (block.name != want.name) return "label block " + std::to_string(b) + " has the wrong name";
    if (block.lines.size() != want.statements.size()) {
      return "label block " + std::to_string(b) + " holds " + std::to_string(block.lines.size()) +
             " statements, the input " + std::to_string(want.statements.size());
    }
    for (std::size_t i = 0; i < block.lines.size(); ++i) {
      const ScriptLine& line = block.lines[i];
      const auto tabs =
          static_cast<std::size_t>(std::count(line.text.begin(), line.text.end(), '\t'));
      if (line.indent != want.statements[i].indent || line.indent != tabs) {
        return describeStatement(b, i) + " has indent " + std::to_string(line.indent) +
               ", its input line " + std::to_string(want.statements[i].indent) +
               " tabs and its text " + std::to_string(tabs);
      }
      if (line.chainFlag != want.statements[i].chainFlag) {
        return describeStatement(b, i) + " has chain role " + std::to_string(static_cast<int>(line.chainFlag)) +
               ", its words say " + std::to_string(static_cast<int>(want.statements[i].chainFlag));
      }
    }
  }
  for (const Warning& warning : script.warnings) {
    if (warning.line < 1 || warning.line > expected.lineCount) {
      return "a warning names line " + std::to_string(warning.line) + " of " +
             std::to_string(expected.lineCount);
    }
  }
  return {};
}

// Consumes the output from the front, one expected piece at a time, and
// remembers the first piece that is not there.
class OutputWalk {
 public:
  explicit OutputWalk(std::string_view text) : text_(text) {}

  // Names the label block the following pieces belong to, for messages.
  void enterBlock(std::size_t block) { block_ = block; }

  void expect(std::string_view piece, const char* what) {
    if (!failure_.empty()) return;
    if (text_.substr(at_, piece.size()) != piece) {
      failure_ = "at byte " + std::to_string(at_) + " the output lacks " + what;
      if (block_ != kNoBlock) failure_ += " in label block " + std::to_string(block_);
      return;
    }
    at_ += piece.size();
  }

  void expectEnd() {
    if (failure_.empty() && at_ != text_.size()) {
      failure_ = "the output goes on for " + std::to_string(text_.size() - at_) +
                 " bytes after the last table";
    }
  }

  const std::string& failure() const { return failure_; }

 private:
  static constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t block_ = kNoBlock;
  std::string failure_;
};

// The final pass turns every "path_end;" into "path_end();". That text holds
// no line feed, blank or double quote, and every piece of user text borders
// on one of those, except a plain entry's text, which "; end" follows: so the
// pass acts on each user text alone, and on a plain entry's text with the
// semicolon that follows it.
std::string afterFinalPass(std::string_view text) {
  return referenceReplace(text, "path_end;", "path_end();");
}

std::string plainEntryBody(const std::string& text) {
  std::string body = afterFinalPass(text + ";");
  body.pop_back();  // the semicolon belongs to the "; end" that follows
  return body;
}

// Walks one chain starting at lines[k], following its rules: deeper entries
// belong to it (a deeper `if` opens a nested chain), an `elif`/`else` at the
// chain's own indent continues it, anything else ends it, and every chain
// ends with one closing line of its base's tabs and `end`. Leaves `k` on the
// first entry not taken.
void walkChain(const std::vector<ScriptLine>& lines, std::size_t& k, OutputWalk& walk) {
  std::vector<std::size_t> openBases;
  const auto openChain = [&] {
    const char* what = openBases.empty() ? "the opening line of a chain"
                                         : "the opening line of a nested chain";
    walk.expect("\n", what);
    walk.expect(afterFinalPass(lines[k].text), what);
    walk.expect("\n", what);
    openBases.push_back(lines[k].indent);
    ++k;
  };
  openChain();
  while (!openBases.empty()) {
    const std::size_t base = openBases.back();
    const bool deeper = k < lines.size() && lines[k].indent > base;
    const bool continues = k < lines.size() && lines[k].indent == base &&
                           lines[k].chainFlag == ChainFlag::continuesChain;
    if (deeper && lines[k].chainFlag == ChainFlag::opensChain) {
      openChain();
    } else if (deeper || continues) {
      walk.expect("\n", "a line of a chain");
      walk.expect(afterFinalPass(lines[k].text), "a line of a chain");
      ++k;
    } else {
      const char* what = "the one closing line of a chain";
      walk.expect("\n", what);
      walk.expect(std::string(base, '\t'), what);
      walk.expect("end", what);
      openBases.pop_back();
    }
  }
}

// Walks the whole output; returns the number of entries written for blocks
// named R28, each of which announces itself on standard output.
std::size_t walkOutput(const Script& script, OutputWalk& walk) {
  walk.expect(kLuaHeader, "the fixed header");
  for (std::size_t k = 0; k < nameCount(script.variableNames); ++k) {
    walk.expect(afterFinalPass(nameAt(script.variableNames, k)),
                "the declaration of a variable");
    walk.expect(" = 0;\n", "the declaration of a variable");
  }
  walk.expect("\n\n", "the separator after the declarations");

  std::size_t announced = 0;
  for (std::size_t b = 0; b < script.labelBlocks.size(); ++b) {
    const LabelBlock& block = script.labelBlocks[b];
    walk.enterBlock(b);
    walk.expect("\n\nLABELS[\"", "the opening of a table");
    walk.expect(afterFinalPass(block.name), "the opening of a table");
    walk.expect("\"] = {", "the opening of a table");
    std::size_t entries = 0;
    for (std::size_t k = 0; k < block.lines.size();) {
      if (entries++ > 0) walk.expect(",", "the comma between entries");
      walk.expect("\n\tfunction() ", "the start of an entry");
      if (block.lines[k].chainFlag == ChainFlag::opensChain) {
        walkChain(block.lines, k, walk);
      } else {
        walk.expect(plainEntryBody(block.lines[k].text), "the text of a plain entry");
        ++k;
      }
      walk.expect("; end", "the \"; end\" closing an entry");
    }
    walk.expect("\n};", "the \"\\n};\" closing a table");
    if (block.name == "R28") announced += entries;
  }
  walk.expectEnd();
  return announced;
}

bool sameWarnings(const std::vector<Warning>& a, const std::vector<Warning>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Warning& x, const Warning& y) {
    return x.line == y.line && x.message == y.message;
  });
}

}  // namespace

std::string checkRecords(std::string_view input, const Script& script) {
  return compareRecords(script, readIndependently(input));
}

std::string checkOutput(const Script& script, std::string_view lua, std::string_view console) {
  OutputWalk walk(lua);
  const std::size_t announced = walkOutput(script, walk);
  if (!walk.failure().empty()) return walk.failure();

  std::string nadas;
  for (std::size_t i = 0; i < announced; ++i) nadas += "nadas";
  if (console != nadas) {
    return "standard output should say \"nadas\" " + std::to_string(announced) + " times";
  }
  return {};
}

std::string checkSkippedSteps(std::string_view input) {
  // Each of the scan's fast forms finds what the plain one finds, block by
  // block: all blocks at once, as a run of the scan.
  const std::size_t blocks = input.size() / kScanBlock + 1;
  std::string padded(input);
  padded.resize(blocks * kScanBlock + kScanReads, '\0');
  std::vector<BlockMasks> plain(blocks), found(blocks);
  scanBlockPlain(padded.data(), blocks, plain.data());
  for (const BlockScan fast : {avx2BlockScan(), avx512BlockScan()}) {
    if (!fast) continue;
    fast(padded.data(), blocks, found.data());
    if (std::memcmp(plain.data(), found.data(), blocks * sizeof(BlockMasks)) != 0) {
      return "a fast form of the scan finds other masks than the plain one";
    }
  }
  ScriptLines lines(input);
  ScannedLine line;
  ScriptLine fast;
  ScriptLine every;
  Words words;
  while (lines.next(line)) {
    if (line.text.empty()) continue;
    // A line no rule touches is its own Lua, behind its leading tabs.
    LuaStatement untouched;
    const std::size_t leading = leadingBlanks(line.text);
    // The first word as the walk tells it, for a line with no whitespace
    // but blanks; the forms take no other.
    const FirstWord first = line.blanksOnly ? firstWordAfter(line.text, leading) : FirstWord::none;
    if (untouchedLine(line.text, leading, line.triggers, line.blanksOnly, first, untouched)) {
      normaliseLine(line.text, kEveryTrigger, every.text);
      words.reset(every.text);
      std::string warning;
      if (isLabelStatement(words)) return "a label statement is taken for a line no rule touches";
      rewriteStatement(words, kEveryTrigger, every, &warning);
      if (std::string(untouched.tabs, '\t').append(untouched.text) != every.text ||
          untouched.indent != every.indent || untouched.chainFlag != every.chainFlag || !warning.empty()) {
        return "a line taken for one no rule touches is changed by the rules";
      }
      continue;
    }
    // A line a fast form takes gives what the general steps give, and its
    // second word as its name.
    TextBuffer scratch;
    FastStatement quick;
    if (fastStatement(line.text, leading, line.triggers, line.blanksOnly, first, scratch, quick)) {
      normaliseLine(line.text, kEveryTrigger, every.text);
      words.reset(every.text);
      std::string warning;
      if (isLabelStatement(words)) return "a label statement is taken by a fast form";
      const std::string second(words.second());
      const std::size_t secondAt = rawOffsetOf(line.text, words.span(1).first);
      std::string target;
      rewriteStatement(words, kEveryTrigger, every, &warning, &target);
      const bool named = quick.nameKind != NameKind::none;
      if (std::string(quick.lua.tabs, '\t').append(quick.lua.text) != every.text ||
          quick.lua.indent != every.indent || quick.lua.chainFlag != every.chainFlag || !warning.empty() ||
          (named && (quick.name != second || quick.nameAt != secondAt)) ||
          (quick.nameKind == NameKind::jumpTarget) != !target.empty()) {
        return "a line a fast form takes gives other results than the general steps";
      }
      continue;
    }
    std::string fastWarning;
    const Normalised normalised = normaliseLine(line.text, line.triggers, fast.text);
    words.reset(fast.text, normalised.leadingTabs,
                line.blanksOnly && (line.triggers & kBlankRunTrigger) == 0);
    if (isLabelStatement(words)) continue;
    rewriteStatement(words, normalised.triggers, fast, &fastWarning);
    std::string everyWarning;
    normaliseLine(line.text, kEveryTrigger, every.text);
    words.reset(every.text);
    rewriteStatement(words, kEveryTrigger, every, &everyWarning);
    if (fast.text != every.text || fast.indent != every.indent ||
        fast.chainFlag != every.chainFlag || fastWarning != everyWarning) {
      return "a line gives other results when the steps its scan rules out are skipped";
    }
  }
  return {};
}

std::string checkConversion(std::string_view input) {
  if (std::string failure = checkSkippedSteps(input); !failure.empty()) return failure;
  const Script script = readScript(input);
  if (std::string failure = checkRecords(input, script); !failure.empty()) {
    return failure;
  }

  // Once whole, once cut into as many parts as the labels allow and handed
  // on in the smallest pieces to a sink that can start over: the same bytes
  // either way.
  Conversion first;
  std::string firstError;
  convertScript(input, first, {}, {}, 0, &firstError);
  Conversion second;
  std::string secondError;
  std::string pieces;
  const LuaSink sink = [&pieces](std::string_view piece) {
    pieces.append(piece);
    return true;
  };
  const LuaRestart restart = [&pieces](std::size_t replaced, std::string_view beginning) {
    pieces.replace(0, replaced, beginning);
    return true;
  };
  convertScript(input, second, sink, {1}, 8, &secondError, restart);
  second.lua.insert(0, pieces);
  if (firstError != script.error || secondError != script.error) {
    return "the conversion's error differs from that of reading the script";
  }
  if (!script.error.empty()) {
    return first.lua.empty() && pieces.empty() && first.warnings.empty()
               ? std::string()
               : "a file that holds no script gave text or warnings";
  }
  if (first.lua != second.lua || first.console != second.console ||
      !sameWarnings(first.warnings, second.warnings)) {
    return "two conversions of the same input differ";
  }
  if (!sameWarnings(first.warnings, script.warnings)) {
    return "the conversion's warnings differ from those of reading the script";
  }
  // Grouped at a small limit, in parts and pieces, to a sink that can start
  // over: what writing the records in that layout gives.
  constexpr std::size_t kSmallLimit = 3;
  Conversion grouped;
  pieces.clear();
  convertScript(input, grouped, sink, {1, kSmallLimit}, 8, nullptr, restart);
  std::string console;
  if (pieces + grouped.lua !=
      writeLuaOutput(script.labelBlocks, script.variableNames, console, kSmallLimit)) {
    return "a conversion grouped at a small limit differs from writing the records so";
  }
  return checkOutput(script, first.lua, first.console);
}

}  // namespace brindle::fuzz
