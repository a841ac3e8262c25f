#include "program.h"

#include "console.h"
#include "decode.h"
#include "folder.h"

namespace brindle {

bool readScriptFile(const std::string& path, ScriptFile& file, std::string& problem) {
  const auto cannotRead = [&](std::string_view why) {
    problem = "cannot read " + path + ": " + std::string(why);
    return false;
  };
  FileError error;
  if (!readWholeFile(path, file.bytes, &error)) return cannotRead(readProblem(error, path));
  const ScriptText script = scriptText(file.bytes.view(), file.decoded);
  if (!script.error.empty()) return cannotRead(script.error);
  file.text = script.text;
  if (!file.decoded.empty()) file.bytes = FileContents();
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
