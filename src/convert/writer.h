// Composes the complete Lua script for a converted story, in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/records.h"

namespace brindle {

// The fixed comment and table declaration every output begins with.
extern const char* const kLuaHeader;

// Returns the Lua text: header, one `name = 0;` per variable, then one
// `LABELS["name"] = {...}` table per block with one function entry per
// statement, a whole chain counting as one entry. Every "path_end;" of the
// finished text becomes "path_end();". Appends "nadas" to `console` for every
// entry written for a block named "R28". Throws std::bad_alloc when memory
// runs out; `console` then keeps what was appended before.
std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks,
                           const VariableNames& variableNames,
                           std::string& console);

// The pieces of that text, each with its "path_end;" pass done, for a caller
// that writes the tables as it reads: the declarations with the blank lines
// after them, and the tables, statement by statement.
void appendDeclarations(const VariableNames& variableNames, std::string& out);

// Writes label tables to `out` as their statements arrive, in the layout
// writeLuaOutput gives them. A statement is written at once unless it opens a
// chain or a chain is being read; a chain is held until a statement ends it
// (one neither deeper than its opening `if` nor an `elif`/`else` at the same
// indent), or until the table closes, and is then assembled by
// buildConditionalBlock. So only the chain being read is ever held.
class TableWriter {
 public:
  TableWriter(std::string& out, std::string& console) : out_(out), console_(console) {}

  // Closes the open table, if any, and opens one named `name`.
  void open(std::string_view name);
  // Adds a statement to the open table. Its text may be exchanged for a
  // spare buffer, so that the caller can reuse the record without
  // allocating.
  void add(ScriptLine& statement);
  // Writes what is held and the table's closing line; nothing if no table
  // is open.
  void close();

 private:
  void hold(ScriptLine& statement);
  std::size_t beginEntry();
  void writeChain();

  std::string& out_;
  std::string& console_;
  bool open_ = false;
  bool announces_ = false;   // the table is named "R28"
  bool firstEntry_ = true;
  LabelBlock chain_;         // the chain being read, its opening `if` first
  std::vector<std::string> spareTexts_;
};

}  // namespace brindle
