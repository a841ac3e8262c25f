#include "plain_forms.h"

#include "chain.h"
#include "decode.h"
#include "labels.h"
#include "parts.h"
#include "rewrite.h"
#include "string_utils.h"
#include "variables.h"
#include "walk.h"
#include "writer.h"

namespace brindle {

Script readScript(std::string_view file) {
  Script script;
  std::string decoded;
  ScriptText text = scriptText(file, decoded);
  if (!text.error.empty()) {
    script.error = std::move(text.error);
    return script;
  }
  // Every block with every statement, the variables and label references,
  // and the warnings, as the walk hands them on.
  LabelReferences labels(kMostLabelWarnings);
  const WalkEnd end = walkScript(text.text, [&](const Statement& statement) {
    if (!statement.warning.empty()) script.warnings.push_back({statement.line, std::string(statement.warning)});
    if (statement.kind == LineKind::label) {
      addLabel(labels, statement.name, statement.line);
      script.labelBlocks.push_back({std::string(statement.name), {}});
      return;
    }
    if (statement.nameKind == NameKind::variable) addVariable(script.variableNames, statement.name);
    if (statement.kind == LineKind::beforeLabels) return;
    if (statement.nameKind == NameKind::jumpTarget) addJump(labels, statement.name, statement.line);
    const LuaStatement& lua = statement.lua;
    script.labelBlocks.back().lines.push_back({std::string(lua.tabs, '\t').append(lua.text), lua.indent, lua.chainFlag});
  });
  if (const std::optional<Warning> warning = beforeLabelsWarning(end)) {
    script.warnings.insert(script.warnings.begin(), *warning);
  }
  warnOfWholeFile(wholeFileOf(text.text), script.warnings);
  warnOfLabelProblems(labels, script.warnings);
  return script;
}

std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks, const NameTable& variableNames,
                           std::string& console, std::size_t mostItems) {
  std::string out;
  const LuaSink none;
  LuaWriter lua(out, none, mostItems, std::string::npos);
  TableWriter tables(console, mostItems);
  for (const LabelBlock& block : labelBlocks) {
    tables.open(block.name, 0);
    for (const ScriptLine& line : block.lines) tables.add(luaOf(line), 0);
  }
  tables.close();
  lua.begin(chooseLayout(nameCount(variableNames) + tables.items(), mostItems), variableNames);
  lua.take(tables);
  lua.finish();
  // The last rule over the whole text: the writer makes it only on what it
  // puts around statements that come with it made.
  callPathEnds(out);
  return out;
}

void buildConditionalBlock(const LabelBlock& block, std::size_t& position, std::string& out) {
  TextBuffer text;
  ChainAssembler chain(text, nullptr);
  chain.open(luaOf(block.lines[position]), 0);
  ++position;
  while (position < block.lines.size() && chain.add(luaOf(block.lines[position]), 0)) ++position;
  chain.closeAll();  // when the entries ran out; a chain that an entry ended is closed
  out.append(text.view());
}

bool convertScript(std::string_view file, Conversion& result, const LuaSink& sink,
                   const ConvertOptions& options, std::size_t parts, std::string* error,
                   const LuaRestart& restart) {
  std::string decoded;  // a UTF-16 file's text as UTF-8
  ScriptText text = scriptText(file, decoded);
  if (error) *error = text.error;
  if (text.error.empty()) return convertInParts(text.text, result, sink, options, parts, {}, restart);
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
