// A large script converted in parts, side by side: the script is cut before
// lines that open a block, each part after the first is converted on a
// thread of its own into a text of its own, and the parts' records (their
// variables, label references with their line offsets, item counts,
// warnings and announcements) are joined in order and handed to the same
// whole-script steps as a conversion in one piece. The bytes, the console
// text and the warnings are those of convertText. Conversions of different
// inputs may run at once.
#pragma once

#include <cstddef>
#include <string_view>

#include "convert.h"

namespace brindle {

// Converts `script` as convertText does, in at most `parts` parts; 0
// chooses from the script's size and the processors there are. A script of
// fewer lines that open a block gets fewer parts, and one part is converted
// by convertText itself, as is a script whose line map is asked for.
bool convertInParts(std::string_view script, Conversion& result, const LuaSink& sink = {},
                    const ConvertOptions& options = {}, std::size_t parts = 0);

}  // namespace brindle
