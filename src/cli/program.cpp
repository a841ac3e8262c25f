#include "program.h"

#include "console.h"
#include "decode.h"
#include "folder.h"

namespace brindle {

namespace {
std::string cannotReadLine(const std::string& path, std::string_view why) {
  return "cannot read " + path + ": " + std::string(why);
}
constexpr std::string_view kChangedWhileRead =
    "it changed while Brindle was reading it; save it and run Brindle again";
}  // namespace

bool readScriptFile(const std::string& path, ScriptFile& file, std::string& problem, ReadMode mode) {
  const auto cannotRead = [&](std::string_view why) {
    problem = cannotReadLine(path, why);
    return false;
  };
  FileError error;
  if (!readWholeFile(path, file.bytes, &error, mode)) return cannotRead(readProblem(error, path));
  const ScriptText script = scriptText(file.bytes.view(), file.decoded);
  if (!script.error.empty()) return cannotRead(script.error);
  file.text = script.text;
  if (!file.decoded.empty()) {
    // The decoded text is a copy: the file may change from here on.
    if (!stillAsRead(file.bytes)) return cannotRead(kChangedWhileRead);
    file.bytes = FileContents();
  }
  return true;
}

bool scriptChanged(const std::string& path, const ScriptFile& file, std::string& problem) {
  if (stillAsRead(file.bytes)) return false;
  problem = cannotReadLine(path, kChangedWhileRead);
  return true;
}

std::string errorLine(std::string_view program, std::string_view message) {
  std::string line(program);
  return line.append(": error: ").append(message).append("\n");
}

void appendDiagnostic(std::string& out, std::string_view path, std::size_t line,
                      std::string_view severity, std::string_view message) {
  out.append(path).append(":").append(std::to_string(line)).append(": ");
  out.append(severity).append(": ").append(message).append("\n");
}

void appendWarning(std::string& out, std::string_view path, const Warning& warning) {
  appendDiagnostic(out, path, warning.line, "warning", warning.message);
}

void printToError(std::string_view text) { writeToStandardStream(StandardStream::kError, text); }

}  // namespace brindle
