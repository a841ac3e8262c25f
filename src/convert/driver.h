// The whole conversion as a function of the input bytes: reads the script
// line by line, groups its statements by label and composes the Lua output.
// No file I/O happens here; the entry point reads test.py and writes
// output.lua.
#pragma once

#include <cstddef>
#include <functional>
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
  std::string lua;      // the text for output.lua, or what of it is not yet handed on
  std::string console;  // what goes to standard output
  std::vector<Warning> warnings;
};

// Takes the Lua text in consecutive pieces, in order. Returns false when it
// cannot take them; it is not called again then.
using LuaSink = std::function<bool(std::string_view)>;

struct ConvertOptions {
  // Into how many parts the input is cut, each converted on a thread of its
  // own; 0 chooses from the input's size and the processors there are. Cuts
  // fall only before lines that begin with "label" and one blank, which
  // open a block whatever follows, so every block opened before has ended; a
  // script with fewer such lines gets fewer parts.
  std::size_t parts = 0;
  // The text gathered is handed to the sink once it is this long and a whole
  // entry has been written.
  std::size_t pieceSize = std::size_t{1} << 20;
};

// The room convertScript reserves for the Lua text of an input of
// `inputSize` bytes when it keeps the whole text: four times the input in a
// 64-bit process, where address space is plentiful and untouched room costs
// nothing else, so that few scripts make the text move while it grows (most
// convert to about their own size, chains nested deep to twice it, one-word
// lines to three times it); twice the input in a 32-bit one.
std::size_t outputReserve(std::size_t inputSize);

// The variables of the `$` statements of `input`, in first-seen order: what
// readScript finds, found by looking only at the lines that hold a "$".
VariableNames findVariables(std::string_view input);

// Reads and writes in one go, giving the text writeLuaOutput makes of what
// readScript builds. The header and the declarations come first (found by
// findVariables), then each label's table as soon as it is written. With a
// sink, the text goes to it piece by piece and result.lua holds only what is
// not yet handed on; without one, the whole text gathers in result.lua.
// Returns false when the sink refused a piece; the conversion still runs to
// its end, so that the console text and the warnings are complete. Throws
// std::bad_alloc when memory runs out; `result.console` then holds what was
// announced before.
bool convertScript(std::string_view input, Conversion& result, const LuaSink& sink = {},
                   const ConvertOptions& options = {});

}  // namespace brindle
