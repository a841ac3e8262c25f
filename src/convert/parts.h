// The conversion of a whole script. The script is cut into parts before
// lines that open a block; each part is converted into a record of its own
// (convert.h), those after the first by threads, one for each processor,
// that each take the next part as they finish one (and by the merge while
// it waits), and the records are merged in order: variables, label
// references with their lines, warnings, announcements, text changes and
// tables. The declarations open the text, so it is handed on only once the
// walk has read every line that may set a variable (none after the
// script's last "$"), or, where the sink can start over, once a part is
// merged, on a guess that the later parts add no variable; from there on
// it streams. The bytes, the console text and the warnings are the same
// however the script is cut, and this layer is the only code that knows of
// parts. Conversions of different inputs may run at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"

namespace brindle {

struct Conversion {
  std::string lua;      // the text for output.lua, or what of it is not yet handed on
  std::string console;  // what goes to standard output
  std::vector<Warning> warnings;
  // How many statements have a quoted text that the conversion changes.
  std::size_t textChanges = 0;
};

// Converts `script`, the text that scriptText (decode.h) finds in a file, in
// at most `parts` parts; 0 chooses from the script's size and the
// processors there are, and a script of fewer lines that open a block gets
// fewer parts. With a sink, the text goes to it piece by piece and
// result.lua holds only what is not yet handed on; without one, the whole
// text gathers in result.lua. Returns false when the sink refused a piece;
// the conversion still runs to its end, so that the console text and the
// warnings are complete. Throws std::bad_alloc when memory runs out;
// `result.console` then holds what the first part announced before.
//
// With `release`, the conversion tells, as it goes, which stretches of
// `script` it has read and will not read again: the caller may let their
// memory go. Called from the threads the parts are converted on, each with
// stretches of its own part, each from the part's start and longer than the
// one before; and, as the parts are merged, with the script from its start
// to the end of the last part merged, so that memory that straddles two
// parts can go too. None is told before what the conversion reads across
// the whole script is read, while the parts after the first may already be
// converted; a part converted by then is told of when it is merged.
//
// With `restart` as well as a sink, the text of a script in several parts
// may begin before the declarations are sure, with the variables known so
// far; where a later part adds one, `restart` tells the sink either to put
// the beginning written again in place of the one it took (at most twice),
// or to forget what it took (once), whereupon the whole text is handed on
// again. What the sink holds at the end is the same either way.
//
// With `prepare`, each part's text is handed to it, on the thread that
// converts the part, before the part is read: the caller may bring the
// memory behind it in at once.
using InputRelease = std::function<void(std::string_view)>;
using InputPrepare = std::function<void(std::string_view)>;
bool convertInParts(std::string_view script, Conversion& result, const LuaSink& sink = {},
                    const ConvertOptions& options = {}, std::size_t parts = 0,
                    const InputRelease& release = {}, const LuaRestart& restart = {},
                    const InputPrepare& prepare = {});

// How the label references of a part join those of the parts before it:
// adds what `later` says of the lines that follow those of `references`,
// whose line 1 is line `lineFeedsBefore` + 1 of `references`. The result is
// what adding every label and jump of both in order would have given.
void joinLabelReferences(LabelReferences& references, const LabelReferences& later,
                         std::size_t lineFeedsBefore);

}  // namespace brindle
