// What the bytes of a script file hold as text, and the warnings about the
// file as a whole. Plain functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records.h"

namespace brindle {

// The script that the bytes of a file hold, as UTF-8 text.
struct ScriptText {
  std::string_view text;  // into the file's bytes, or into the caller's buffer
  std::string error;      // empty, or why the file cannot be read as text
};

// The script in the bytes of a file: without a UTF-8 byte-order mark at its
// start, which editors on Windows write and which would otherwise hide a
// first `label`, and without Ctrl-Z bytes at its very end, where older
// Windows editors mark the end of a text file (a Windows text-mode reader
// stops there too). A Ctrl-Z anywhere else is kept. A file that starts with
// a UTF-16 byte-order mark (FF FE or FE FF, as Windows editors save
// "Unicode") is decoded into `decoded` and the text points there; a Ctrl-Z
// character at its end goes the same way, and so does a lone Ctrl-Z byte
// after its last whole character. Malformed UTF-16 gives an error, which
// says what is wrong and what to do, and no text. None of this adds or
// removes a line feed, so line numbers stay those of the file.
ScriptText scriptText(std::string_view file, std::string& decoded);

// Puts first in `warnings` those about the whole of `script`, neither of
// which changes its conversion: one for a script that looks like UTF-16
// saved without a byte-order mark (see looksLikeUtf16), which is read as the
// bytes it is, NULs and all, so the user should save it as UTF-8; then one
// for a script whose only line ends are lone carriage returns (as old Mac
// editors save), since only a line feed ends a line and such a script is
// read as one line.
void warnOfWholeFile(std::string_view script, std::vector<Warning>& warnings);

}  // namespace brindle
