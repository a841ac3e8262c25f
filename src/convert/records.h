// The records of a conversion: the ScriptLine and LabelBlock of a script read
// into memory, the Lua of one statement as the writer takes it, the
// Statement the walk makes of each line, and the warnings about lines. Plain
// values with no behaviour of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The role of a statement in an if/elif/else chain.
enum class ChainFlag : std::int32_t {
  opensChain = 0,      // an `if` line
  continuesChain = 1,  // an `elif` or `else:` line
  plainStatement = 3,  // anything else
};

struct ScriptLine {
  std::string text;         // the rewritten statement, leading tabs included
  std::size_t indent = 0;   // tab characters anywhere in the line
  ChainFlag chainFlag = ChainFlag::plainStatement;
};

struct LabelBlock {
  std::string name;
  std::vector<ScriptLine> lines;  // in input order
};

// The Lua of one statement as the writer takes it: `tabs` tab characters,
// then `text`. It views a text that must outlive it: a ScriptLine's, or the
// script's own bytes after a line's leading blanks where no rule changed the
// rest of the line.
struct LuaStatement {
  std::string_view text;
  std::size_t tabs = 0;
  std::size_t indent = 0;  // tab characters in the whole statement, `tabs` included
  ChainFlag chainFlag = ChainFlag::plainStatement;
};

inline LuaStatement luaOf(const ScriptLine& line) { return {line.text, 0, line.indent, line.chainFlag}; }

struct TextChange;

// What a line is, to the walk.
enum class LineKind : std::uint8_t {
  label,         // a `label` statement: it opens a block
  statement,     // any other statement, of the block opened last
  beforeLabels,  // a statement before the first label, which no block takes
};

// Which name a line gives.
enum class NameKind : std::uint8_t { none, label, jumpTarget, variable };

// What the walk makes of one non-empty line, as it hands it on. Its views
// last until the walk reads the next line.
struct Statement {
  std::size_t line = 0;     // from 1
  std::string_view source;  // the line as the script spells it, without its line end
  LineKind kind = LineKind::statement;
  // The block a label opens (maybe empty), the target of a jump_out of a
  // block, or the variable a `$` line sets; and, where the walk was asked,
  // the bytes of `source` that spell the word it comes from.
  NameKind nameKind = NameKind::none;
  std::string_view name;
  std::size_t nameBegin = 0;
  std::size_t nameEnd = 0;
  LuaStatement lua;          // a statement's Lua; nothing for a label
  std::string_view warning;  // what the author should hear about the line, if anything
  // Whether the rewrite changes a quoted text of a statement of a block;
  // how, where the walk was asked to describe the changes.
  bool textChanged = false;
  const TextChange* textChange = nullptr;
};

// What a warning is about, for a reader that treats some apart (brindle-check
// reports the label problems as findings of their own).
enum class WarningKind {
  other,
  undefinedJumpTarget,  // a jump_out to a label no label statement defines
  redefinedLabel,       // a label defined again; its table replaces the earlier one
  notShown,             // how many more of a kind there are than are shown
  textChange,           // the conversion changes a quoted text of the statement
};

// A message about one input line; `line` counts from 1.
struct Warning {
  std::size_t line = 0;
  std::string message;
  WarningKind kind = WarningKind::other;
};

}  // namespace brindle
