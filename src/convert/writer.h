// Composes the complete Lua script for a converted story, in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/chain.h"
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
// writeLuaOutput gives them: a plain statement's entry at once, a chain's
// entry line by line through a ChainAssembler, closed when a statement ends
// the chain or the table closes. No statement is kept.
class TableWriter {
 public:
  TableWriter(std::string& out, std::string& console)
      : out_(out), console_(console), chain_(out) {}

  // Closes the open table, if any, and opens one named `name`.
  void open(std::string_view name);
  // Adds a statement to the open table.
  void add(const ScriptLine& statement);
  // The same for a statement whose text holds no "pat", so that no
  // "path_end;" can start in it: an entry made only of such statements needs
  // no final pass.
  void addWithoutPathEnd(const ScriptLine& statement);
  // Ends the open entry and the table; nothing if no table is open.
  void close();
  // Whether an entry is still being written: a chain that the statements to
  // come may continue. Otherwise every byte written so far is final.
  bool insideEntry() const { return chain_.isOpen(); }

 private:
  void addStatement(const ScriptLine& statement, bool mayHoldPathEnd);
  void beginEntry();
  void endEntry();

  std::string& out_;
  std::string& console_;
  bool open_ = false;
  bool announces_ = false;  // the table is named "R28"
  bool firstEntry_ = true;
  std::size_t entryStart_ = 0;
  bool entryMayHoldPathEnd_ = false;  // a statement of the entry may hold "path_end"
  ChainAssembler chain_;
};

}  // namespace brindle
