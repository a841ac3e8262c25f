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

// The script in the text an editor holds, which is text already: without a
// UTF-8 byte-order mark at its start and without Ctrl-Z bytes at its end.
std::string_view scriptOfEditorText(std::string_view text);

// What the warnings about a whole script come from.
struct WholeFile {
  // It looks like UTF-16 saved without a byte-order mark (see
  // looksLikeUtf16), which is read as the bytes it is, NULs and all.
  bool looksLikeUtf16 = false;
  // Its only line ends are lone carriage returns (as old Mac editors save),
  // and only a line feed ends a line, so it is read as one line.
  bool onlyCarriageReturns = false;
};

WholeFile wholeFileOf(std::string_view script);

// Puts first in `warnings` those about the whole script, neither of which
// changes its conversion: one for a script that looks like UTF-16, which the
// user should save as UTF-8; then one for a script of lone carriage returns.
void warnOfWholeFile(const WholeFile& file, std::vector<Warning>& warnings);

}  // namespace brindle
