// What brindle and brindle-check share as programs: the script they read
// and how a failure to read it is told, and the form of every line they
// print about a script. Plain functions; the reading does file I/O.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files.h"
#include "records.h"

namespace brindle {

// The script both programs read, in the working directory.
inline constexpr const char* kScriptPath = "test.py";

// A script file read and decoded: `text` views `bytes`, or `decoded` for a
// UTF-16 file, whose bytes are then let go so as not to hold both.
struct ScriptFile {
  FileContents bytes;
  std::string decoded;
  std::string_view text;
};

// Reads the script at `path` and finds its text (decode.h). On failure
// returns false with `problem` saying, in words that say what to do, why it
// cannot be read: "cannot read PATH: WHY". With ReadMode::mayMap the text
// may be the file itself (files.h): a caller that reads it for long asks
// scriptChanged at the end.
bool readScriptFile(const std::string& path, ScriptFile& file, std::string& problem,
                    ReadMode mode = ReadMode::copy);

// For a script read with ReadMode::mayMap: whether its file changed while
// its text was read, and if so what to tell ("cannot read PATH: WHY").
bool scriptChanged(const std::string& path, const ScriptFile& file, std::string& problem);

// "PROGRAM: error: MESSAGE" and a line feed.
std::string errorLine(std::string_view program, std::string_view message);

// Appends "PATH:LINE: SEVERITY: MESSAGE" and a line feed, the form compilers
// use, so that editors can jump to the line.
void appendDiagnostic(std::string& out, std::string_view path, std::size_t line,
                      std::string_view severity, std::string_view message);

// Appends the warning as appendDiagnostic does, as a "warning".
void appendWarning(std::string& out, std::string_view path, const Warning& warning);

// Writes `text` to standard error; a text may hold any byte, NUL included.
void printToError(std::string_view text);

}  // namespace brindle
