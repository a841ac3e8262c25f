// The whole conversion as a function of the input bytes, the entry point's
// one call: the header and the declarations of every variable first, then
// each label's table as it is written. A script whose layout (layout.h) may
// be grouped has its tables kept until their count decides it. A script of a few megabytes or more
// is cut into parts, converted side by side on threads of their own and
// joined in order; the bytes are those of one pass. Conversions of different
// inputs may run at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "driver.h"
#include "records.h"

namespace brindle {

struct Conversion {
  std::string lua;      // the text for output.lua, or what of it is not yet handed on
  std::string console;  // what goes to standard output
  std::vector<Warning> warnings;
  std::string error;  // why the file holds no script (see ScriptText); nothing else is made then
};

struct ConvertOptions {
  // Into how many parts the input is cut; 0 chooses from the input's size
  // and the processors there are. Cuts fall only before lines that open a
  // block, so every block opened before has ended; a script with fewer such
  // lines gets fewer parts.
  std::size_t parts = 0;
  // The text gathered is handed to the sink once it is this long and a whole
  // entry has been written.
  std::size_t pieceSize = std::size_t{1} << 20;
  // The most items one Lua function of the text holds (see layout.h), at
  // least 2; a smaller one lets tests see the grouped layout in small
  // scripts.
  std::size_t mostItemsPerFunction = kMostItemsPerFunction;
};

// Converts the script in `file`, the bytes of test.py: scriptText, then
// convertText. A file that holds no script (malformed UTF-16) gives no text
// at all: result.error says why, and false is returned.
bool convertScript(std::string_view file, Conversion& result, const LuaSink& sink = {},
                   const ConvertOptions& options = {});

// Converts `script`, the text that scriptText finds in a file; a caller that
// decoded a UTF-16 file itself can let the file's bytes go first. With a
// sink, the text goes to it piece by piece and result.lua holds only what is
// not yet handed on; without one, the whole text gathers in result.lua.
// Returns false when the sink refused a piece; the conversion still runs to
// its end, so that the console text and the warnings are complete. Throws
// std::bad_alloc when memory runs out; `result.console` then holds what was
// announced before.
bool convertText(std::string_view script, Conversion& result, const LuaSink& sink = {},
                 const ConvertOptions& options = {});

}  // namespace brindle
