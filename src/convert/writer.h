// Composes the complete Lua script for a converted story, in memory.
#pragma once

#include <string>
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
// that writes the tables as it goes: the declarations with the blank lines
// after them, and one block's table.
void appendDeclarations(const VariableNames& variableNames, std::string& out);
void appendLabelTable(const LabelBlock& block, std::string& out, std::string& console);

}  // namespace brindle
