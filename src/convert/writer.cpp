#include "writer.h"

#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

constexpr std::string_view kEntryOpen = "\n\tfunction() ";
constexpr std::string_view kNextEntryOpen = ",\n\tfunction() ";
constexpr std::string_view kEntryClose = "; end";

}  // namespace

void callPathEnds(std::string& text, std::size_t from) {
  const std::size_t hit = findText(text, kPathEndStatement, from);
  if (hit == std::string::npos) return;
  std::string rest(text, hit);
  text.resize(hit);
  replaceAll(rest, kPathEndStatement, "path_end();");
  text.append(rest);
}

void appendDeclaration(std::string_view name, std::string& out) {
  out.append(name).append(" = 0;\n");
}

void endDeclarations(std::string& out) { out.append("\n\n"); }

void TableWriter::open(std::string_view name) {
  close();
  out_.append("\n\nLABELS[\"").append(name).append("\"] = {");
  open_ = true;
  announces_ = name == "R28";
  firstEntry_ = true;
}

void TableWriter::add(const ScriptLine& statement) {
  if (chain_.isOpen()) {
    if (chain_.add(statement)) return;
    endEntry();  // the statement ended the chain, which is now closed
  }
  beginEntry();
  if (statement.chainFlag == ChainRole::opensChain) {
    chain_.open(statement);
    return;
  }
  out_.append(statement.text);
  endEntry();
}

void TableWriter::close() {
  if (!open_) return;
  if (chain_.isOpen()) {
    chain_.closeAll();
    endEntry();
  }
  out_.append("\n};");
  open_ = false;
}

// Announces an entry and writes its opening. The comma between two entries
// goes in when the second begins, right behind the first one's "; end",
// where it would stand if written with it.
void TableWriter::beginEntry() {
  if (announces_) console_.append("nadas");
  out_.append(firstEntry_ ? kEntryOpen : kNextEntryOpen);
  firstEntry_ = false;
}

void TableWriter::endEntry() { out_.append(kEntryClose); }

std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks,
                           const VariableNames& variableNames, std::string& console) {
  std::string out(kLuaHeader);
  for (std::size_t k = 0; k < variableCount(variableNames); ++k) {
    appendDeclaration(variableName(variableNames, k), out);
  }
  endDeclarations(out);
  TableWriter tables(out, console);
  for (const LabelBlock& block : labelBlocks) {
    tables.open(block.name);
    for (const ScriptLine& line : block.lines) tables.add(line);
  }
  tables.close();
  callPathEnds(out);
  return out;
}

}  // namespace brindle
