#include "plain_forms.h"

#include "chain.h"
#include "decode.h"
#include "labels.h"
#include "parts.h"
#include "string_utils.h"
#include "walk.h"
#include "writer.h"

namespace brindle {
namespace {

// Keeps every block and the label references.
struct BlocksSink {
  std::vector<LabelBlock>& blocks;
  LabelReferences& labels;

  void open(std::string_view name, std::size_t line) {
    addLabel(labels, name, line);
    blocks.push_back({std::string(name), {}});
  }
  void jump(std::string_view target, std::size_t line) { addJump(labels, target, line); }
  void add(const ScriptLine& statement, std::size_t) { blocks.back().lines.push_back(statement); }
};

}  // namespace

Script readScript(std::string_view file) {
  Script script;
  std::string decoded;
  ScriptText text = scriptText(file, decoded);
  if (!text.error.empty()) {
    script.error = std::move(text.error);
    return script;
  }
  LabelReferences labels(kMostLabelWarnings);
  BlocksSink sink{script.labelBlocks, labels};
  walkLines(text.text, &script.variableNames, script.warnings, sink);
  warnOfWholeFile(text.text, script.warnings);
  warnOfLabelProblems(labels, script.warnings);
  return script;
}

std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks, const NameTable& variableNames,
                           std::string& console, std::size_t mostItems) {
  std::string out;
  const LuaSink none;
  LuaWriter lua(variableNames, {}, out, none, mostItems, std::string::npos);
  TableWriter tables(console, mostItems, true);
  for (const LabelBlock& block : labelBlocks) {
    tables.open(block.name, 0);
    for (const ScriptLine& line : block.lines) tables.add(line, 0);
  }
  tables.close();
  lua.begin(lua.layoutFor(tables.items()));
  lua.take(tables, tables.items());
  lua.finish();
  return out;
}

void buildConditionalBlock(const LabelBlock& block, std::size_t& position, std::string& out) {
  ChainAssembler chain(out, nullptr);
  chain.open(block.lines[position], 0);
  ++position;
  while (position < block.lines.size() && chain.add(block.lines[position], 0)) ++position;
  chain.closeAll();  // when the entries ran out; a chain that an entry ended is closed
}

bool convertScript(std::string_view file, Conversion& result, const LuaSink& sink,
                   const ConvertOptions& options, std::size_t parts, std::string* error) {
  std::string decoded;  // a UTF-16 file's text as UTF-8
  ScriptText text = scriptText(file, decoded);
  if (error) *error = text.error;
  if (text.error.empty()) return convertInParts(text.text, result, sink, options, parts);
  result = Conversion();
  return false;
}

std::size_t splitOn(std::string_view text, std::vector<std::string>& pieces, char separator) {
  std::string joined;
  std::size_t count = 0;
  for (std::size_t from = 0; from <= text.size(); ++count) {
    const std::string_view piece = nextPiece(text, from, separator, joined);
    if (count < pieces.size()) {
      pieces[count].assign(piece);
    } else {
      pieces.emplace_back(piece);
    }
  }
  pieces.resize(count);
  return count;
}

std::string repeatString(std::string_view text, long long count) {
  std::string result;
  if (count <= 0) return result;
  result.reserve(text.size() * static_cast<std::size_t>(count));
  for (long long i = 0; i < count; ++i) result.append(text);
  return result;
}

}  // namespace brindle
