#include "analysis.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "convert.h"
#include "decode.h"
#include "output_texts.h"
#include "string_utils.h"
#include "walk.h"

namespace brindle::lsp {
namespace {

// The second word of `line` as it stands: bytes [begin, end) after the
// first word and the blanks behind it.
std::pair<std::size_t, std::size_t> secondWord(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && isSpaceByte(line[at])) ++at;
  while (at < line.size() && !isSpaceByte(line[at])) ++at;
  while (at < line.size() && isSpaceByte(line[at])) ++at;
  const std::size_t begin = at;
  while (at < line.size() && !isSpaceByte(line[at])) ++at;
  return {begin, at};
}

// Collects the labels, jumps and `$` lines the walk meets.
struct SymbolSink {
  Analysis& analysis;

  Place placeOfSecondWord(std::size_t line) const {
    const auto [begin, end] = secondWord(analysis.scriptLine(line));
    return {line, begin, end};
  }
  void operator()(const Statement& statement) {
    const std::size_t line = statement.line;
    const std::string_view name = statement.name;
    if (statement.kind == LineKind::label) {
      Place place = placeOfSecondWord(line);
      const std::string_view spelled =
          analysis.scriptLine(line).substr(place.begin, place.end - place.begin);
      const bool whole = !name.empty() && (spelled == name || (spelled.size() == name.size() + 1 &&
                                                               spelled.starts_with(name) && spelled.back() == ':'));
      if (whole) place.end = place.begin + name.size();
      analysis.labels.push_back({std::string(name), place, whole});
    } else if (statement.nameKind == NameKind::jumpTarget) {
      analysis.jumps.push_back({std::string(name), placeOfSecondWord(line)});
    } else if (statement.nameKind == NameKind::variable) {
      analysis.variables.push_back({std::string(name), placeOfSecondWord(line)});
    }
  }
};

}  // namespace

Place Analysis::placeOf(std::size_t offset) const {
  const std::size_t scriptStart = static_cast<std::size_t>(script.data() - text->data());
  const std::size_t at = std::max(offset, scriptStart);
  const auto after = std::upper_bound(scriptLines.begin(), scriptLines.end(), at);
  const std::size_t line = static_cast<std::size_t>(after - scriptLines.begin());
  const std::size_t column = std::min(at - scriptLines[line - 1], scriptLine(line).size());
  return {line, column, column};
}

Position Analysis::positionOf(std::size_t line, std::size_t column) const {
  if (line == 0 || line > scriptLines.size()) return positions.positionOf(text->size());
  return positions.positionOf(scriptLines[line - 1] + std::min(column, scriptLine(line).size()));
}

std::string_view Analysis::scriptLine(std::size_t line) const {
  if (line == 0 || line > scriptLines.size()) return {};
  const std::size_t begin = scriptLines[line - 1];
  const std::size_t scriptEnd = static_cast<std::size_t>(script.data() - text->data()) + script.size();
  std::size_t end = line < scriptLines.size() ? scriptLines[line] - 1 : scriptEnd;
  if (end > begin && line < scriptLines.size() && (*text)[end - 1] == '\r') --end;
  return std::string_view(*text).substr(begin, end - begin);
}

std::string_view LuaView::line(std::size_t line) const {
  if (line >= lineStarts.size()) return {};
  const std::size_t begin = lineStarts[line];
  const std::size_t end = line + 1 < lineStarts.size() ? lineStarts[line + 1] - 1 : lua.size();
  return std::string_view(lua).substr(begin, end - begin);
}

std::shared_ptr<const Analysis> analyze(std::shared_ptr<const std::string> text) {
  // The editor's lines are indexed beside the walk, on a thread of their
  // own where there is one to be had.
  std::future<LineIndex> index;
  try {
    index = std::async(std::launch::async, [text] { return LineIndex(*text); });
  } catch (const std::system_error&) {
  }
  auto analysis = std::make_shared<Analysis>(Analysis{text, {}, {}, LineIndex({}), {}, {}, {}});
  std::string decoded;
  // An editor hands over text, never the UTF-16 of a file; a byte-order
  // mark or a Ctrl-Z at the end it may keep.
  const ScriptText script = scriptText(*text, decoded);
  analysis->script = decoded.empty() && script.error.empty() ? script.text : std::string_view(*text);
  const std::string_view body = analysis->script;
  const std::size_t start = static_cast<std::size_t>(body.data() - text->data());
  analysis->scriptLines.push_back(start);
  for (std::size_t at = body.find('\n'); at != std::string_view::npos; at = body.find('\n', at + 1)) {
    analysis->scriptLines.push_back(start + at + 1);
  }
  SymbolSink sink{*analysis};
  walkScript(body, sink);
  analysis->positions = index.valid() ? index.get() : LineIndex(*text);
  return analysis;
}

std::shared_ptr<const LuaView> viewLua(const Analysis& analysis) {
  auto view = std::make_shared<LuaView>();
  ConvertOptions options;
  options.mostItemsPerFunction = static_cast<std::size_t>(-1);
  std::string console;
  LineMap tableLines;
  StretchRecord record(options, console, &tableLines);
  convertStretch(analysis.script, options, record);
  const LuaSink none;
  LuaWriter lua(view->lua, none, options.mostItemsPerFunction, options.pieceSize);
  lua.begin(Layout::flat, record.variables);
  lua.take(record.tables);
  lua.finish();
  // The header's lines and the declarations', then the tables'.
  std::size_t headerLines = 0;
  for (const char c : kLuaHeader) headerLines += c == '\n';
  view->lines.lines.assign(headerLines, LuaLine{});
  for (std::size_t k = 0; k < nameCount(record.variables); ++k) {
    view->lines.lines.push_back({k < record.variableLines.size() ? record.variableLines[k] : 0, 0, kNoChainLine,
                                 LuaLineRole::declaration});
  }
  view->lines.lines.insert(view->lines.lines.end(), 3, LuaLine{});
  view->lines.lines.insert(view->lines.lines.end(), tableLines.lines.begin(), tableLines.lines.end());
  view->lineStarts.push_back(0);
  for (std::size_t at = view->lua.find('\n'); at != std::string::npos; at = view->lua.find('\n', at + 1)) {
    view->lineStarts.push_back(at + 1);
  }
  // Where each statement's Lua begins, and how many entries each table has.
  view->ofScriptLine.assign(analysis.scriptLines.size() + 1, std::string::npos);
  view->entries.assign(analysis.labels.size(), 0);
  std::size_t table = 0;
  const std::vector<LuaLine>& lines = view->lines.lines;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const LuaLine& line = lines[k];
    if (line.role == LuaLineRole::tableKey) ++table;
    if (line.role == LuaLineRole::entry && table > 0 && table <= view->entries.size()) ++view->entries[table - 1];
    const bool statement = line.role == LuaLineRole::entry || line.role == LuaLineRole::chainOpen ||
                           line.role == LuaLineRole::chainGoesOn || line.role == LuaLineRole::chainBody;
    if (statement && line.scriptLine < view->ofScriptLine.size() &&
        view->ofScriptLine[line.scriptLine] == std::string::npos) {
      view->ofScriptLine[line.scriptLine] = k;
    }
  }
  return view;
}

}  // namespace brindle::lsp
