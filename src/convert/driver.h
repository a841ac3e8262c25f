// The whole conversion as a function of the input bytes: reads the script
// line by line, groups its statements by label and composes the Lua output.
// No file I/O happens here; the entry point reads test.py and writes
// output.lua.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/records.h"

namespace brindle {

// What reading a script builds.
struct Script {
  std::vector<LabelBlock> labelBlocks;  // one per `label` statement, in order
  VariableNames variableNames;
  std::vector<Warning> warnings;
};

// Splits `input` into lines (a carriage return directly before a line feed
// belongs to the line end), normalises each, opens a block at every `label`
// statement and rewrites every other non-empty line into the block opened
// last. Statements before the first label are rewritten (their variables
// count) but stored nowhere; one warning says so.
Script readScript(std::string_view input);

struct Conversion {
  std::string lua;      // the text for output.lua
  std::string console;  // what goes to standard output
  std::vector<Warning> warnings;
};

// The room convertScript reserves for the Lua text of an input of
// `inputSize` bytes: four times the input in a 64-bit process, where address
// space is plentiful and untouched room costs nothing else, so that few
// scripts make the text move while it grows (most convert to about their own
// size, chains nested deep to twice it, one-word lines to three times it);
// twice the input in a 32-bit one.
std::size_t outputReserve(std::size_t inputSize);

// Reads and writes in one go: the result equals writeLuaOutput over what
// readScript builds, but each label's table is written as soon as the label
// ends, so only one block is held at a time. Throws std::bad_alloc when
// memory runs out; `result.console` then holds what was announced before.
void convertScript(std::string_view input, Conversion& result);

}  // namespace brindle
