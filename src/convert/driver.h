// The line loop and one conversion. Reads a script line by line: every line
// is normalised and cut into words; a `label` statement opens a block, and
// every other non-empty line is rewritten into a statement of the block
// opened last. No file I/O; the functions keep no state, and conversions of
// different inputs may run on different threads at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "layout.h"
#include "labels.h"
#include "records.h"
#include "variables.h"

namespace brindle {

// What reading a script builds.
struct Script {
  std::vector<LabelBlock> labelBlocks;  // one per `label` statement, in order
  VariableNames variableNames;
  std::vector<Warning> warnings;
  std::string error;  // why the file holds no script (see ScriptText); nothing else is set then
};

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

// Puts first in `warnings` one for a script whose only line ends are lone
// carriage returns (as old Mac editors save): only a line feed ends a line,
// so such a script is read as one line. The conversion is not changed.
void warnOfLoneCarriageReturns(std::string_view script, std::vector<Warning>& warnings);

// Puts first in `warnings` one for a script that looks like UTF-16 saved
// without a byte-order mark (see looksLikeUtf16): it is read as the bytes
// it is, NULs and all, so the user should save it as UTF-8.
void warnOfUtf16WithoutMark(std::string_view script, std::vector<Warning>& warnings);

// Reads `input` (the bytes of a file, as scriptText takes them) into
// records: the plain account of a script, which the streaming conversion is
// checked against. Statements before the first label are rewritten (their
// variables count) but stored nowhere; one warning says so.
Script readScript(std::string_view input);

// The label problems brindle warns of, of each kind (the lines its
// LabelReferences keep); one more warning counts the rest, which
// brindle-check lists. A script of a million repeated labels then costs no
// million messages.
inline constexpr std::size_t kMostLabelWarnings = 100;

// Adds the findings of findLabelProblems to `warnings`, which are then
// sorted by line (a stable sort: warnings of one line keep their order).
void warnOfLabelProblems(const std::vector<Stretch>& stretches, std::vector<Warning>& warnings);

// What visitScript hands on, each with the line it stands on; any may be
// empty.
struct ScriptVisitor {
  std::function<void(std::string_view name, std::size_t line)> label;
  std::function<void(const ScriptLine& statement, std::size_t line)> statement;
  // A variable named for the first time.
  std::function<void(std::string_view name, std::size_t line)> variable;
};

// Reads `file` as readScript does, for a caller that looks at each label,
// statement and variable where it stands rather than keeping them; the
// warnings are readScript's, less those of findLabelProblems, whose input
// goes to `references`. Returns why the file holds no script (see
// ScriptText), with nothing visited then; empty otherwise.
std::string visitScript(std::string_view file, const ScriptVisitor& visitor,
                 std::vector<Warning>& warnings, LabelReferences& references);

// Takes the Lua text in consecutive pieces, in order. Returns false when it
// cannot take them; it is not called again then.
using LuaSink = std::function<bool(std::string_view)>;

// Takes as much of the start of the text it is given as it can yet hand on,
// and returns how many bytes that is.
using LuaTaker = std::function<std::size_t(std::string_view)>;

// The Lua text on its way out, through the final pass, in a buffer the
// caller owns. With a sink, text is handed on in pieces of at least
// `pieceSize` bytes and the buffer holds only what is not yet handed on;
// without one, the whole text gathers in the buffer. With a taker instead,
// the buffer keeps what the taker leaves. With marks, the tables written to
// the buffer are recorded there (see TableWriter).
class LuaOutput {
 public:
  LuaOutput(std::string& buffer, const LuaSink& sink, std::size_t pieceSize,
            const LuaTaker* taker = nullptr, TableMarks* marks = nullptr)
      : buffer_(buffer), sink_(sink), pieceSize_(pieceSize), taker_(taker), marks_(marks) {}

  // Where text is written; bytes from finished() on may still change.
  std::string& buffer() { return buffer_; }
  TableMarks* marks() { return marks_; }
  // False once the sink has refused a piece.
  bool accepted() const { return accepted_; }
  // Finishes the text once a piece's worth has gathered. The caller knows
  // that it ends where the final pass may cut it (see callPathEnds).
  void flushIfFull() {
    if (buffer_.size() - passed_ >= pieceSize_) flush();
  }
  // Finishes whatever the buffer holds: the final pass runs over it, and
  // with a sink it is handed on.
  void flush();
  // Adds text that has had its final pass, handing it on as it is rather
  // than copying it.
  void handOn(std::string_view text);

 private:
  std::string& buffer_;
  const LuaSink& sink_;
  std::size_t pieceSize_;
  const LuaTaker* taker_;
  TableMarks* marks_;
  std::size_t passed_ = 0;  // the bytes of the buffer before this have had their pass
  bool accepted_ = true;
};

// Converts the lines of `input` into label tables written to `output`,
// handing the text on whenever an entry is complete and enough has
// gathered. Variables are not recorded: the caller found them before and
// wrote their declarations. Warnings and references name lines counted from
// 1 at the start of `input`. `limit` is that of TableWriter. Returns the
// number of lines of `input`.
std::size_t convertTables(std::string_view input, LuaOutput& output, std::string& console,
                          std::vector<Warning>& warnings, LabelReferences& references,
                          std::size_t limit = kMostItemsPerFunction);

}  // namespace brindle
