#include "lua_text.h"

#include <algorithm>
#include <limits>

#include "driver.h"
#include "writer.h"

namespace brindle::check {
namespace {

// The number of line feeds in `text`.
std::size_t lineFeeds(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A line that only closes chains, and perhaps the entry: tabs, "end", then
// perhaps "; end" and a comma.
bool closesChains(std::string_view line) {
  line.remove_prefix(std::min(line.find_first_not_of('\t'), line.size()));
  return line == "end" || line == "end; end" || line == "end; end,";
}

// The label tables, written by the writer brindle uses, with the items and
// the script line of every line they take.
struct Tables {
  std::string text;
  std::string console;  // what brindle would print; not wanted here
  // The flat text: the parse is of items in their context, which grouping
  // would only wrap, so no table is cut into pieces either.
  TableWriter writer{text, console, std::numeric_limits<std::size_t>::max()};
  std::vector<std::size_t> scriptLines{0};  // one per line begun; line 0 precedes the first table
  std::vector<LuaItem> items;               // lines counted from the start of `text`
  std::size_t scanned = 0;                  // `text` before this has been looked at
  std::vector<std::size_t> begun;           // offsets of the lines begun in the last step

  // Finds the lines begun since the last step.
  void scan() {
    begun.clear();
    for (std::size_t at = text.find('\n', scanned); at != std::string::npos; at = text.find('\n', at + 1)) {
      begun.push_back(at + 1);
    }
    scanned = text.size();
  }
  std::string_view lineAt(std::size_t k) const {
    const std::size_t from = begun[k];
    const std::size_t end = k + 1 < begun.size() ? begun[k + 1] - 1 : text.size();
    return std::string_view(text).substr(from, end - from);
  }
  // Gives the lines begun in the last step the script line `line`.
  void takeLines(std::size_t line) {
    scan();
    scriptLines.insert(scriptLines.end(), begun.size(), line);
  }

  void label(std::string_view name, std::size_t line) {
    writer.close();
    takeLines(scriptLines.back());  // a chain's closing lines and "};" go with its last line
    writer.open(name);
    takeLines(line);
    items.push_back({ItemKind::labelKey, scriptLines.size() - 1});
  }

  void statement(const ScriptLine& statement, std::size_t line) {
    const bool inChain = writer.insideEntry();
    const std::size_t before = scriptLines.back();
    writer.add(statement);
    scan();
    // Lines that close chains before the statement's own go with the line
    // before; after the one that closes the entry, a new entry begins.
    std::size_t k = 0;
    bool newEntry = !inChain;
    if (inChain) {
      while (k + 1 < begun.size() && closesChains(lineAt(k))) {
        newEntry = lineAt(k).back() == ',';
        scriptLines.push_back(before);
        ++k;
      }
    }
    if (newEntry) items.push_back({ItemKind::entry, scriptLines.size()});
    scriptLines.insert(scriptLines.end(), begun.size() - k, line);
  }

  void finish() {
    writer.close();
    takeLines(scriptLines.back());
  }
};

}  // namespace

LuaText buildLuaText(std::string_view file) {
  LuaText lua;
  Tables tables;
  // Most scripts convert to about their own size; the room is only
  // address space until it is written.
  tables.text.reserve(file.size() + file.size() / 2 + 4096);
  std::vector<NamedLine> variables;
  ScriptVisitor visitor;
  visitor.label = [&](std::string_view name, std::size_t line) { tables.label(name, line); };
  visitor.statement = [&](const ScriptLine& statement, std::size_t line) {
    tables.statement(statement, line);
  };
  visitor.variable = [&](std::string_view name, std::size_t line) {
    variables.push_back({std::string(name), line});
  };
  lua.error = visitScript(file, visitor, lua.warnings, lua.references);
  if (!lua.error.empty()) return lua;
  tables.finish();

  // The header, then one line per declaration, then the tables, whose first
  // line goes on where the declarations end. The tables' text takes the
  // declarations in front, so that it is not copied whole once more.
  std::string text(kLuaHeader);
  lua.scriptLines.assign(lineFeeds(kLuaHeader), 0);
  for (const NamedLine& variable : variables) {
    lua.items.push_back({ItemKind::declaration, lua.scriptLines.size()});
    lua.scriptLines.push_back(variable.line);
    appendDeclaration(variable.name, 0, 1, Layout::flat, kMostItemsPerFunction, text);
  }
  const std::size_t before = text.size();
  endDeclarations(text);
  lua.scriptLines.insert(lua.scriptLines.end(), lineFeeds(std::string_view(text).substr(before)), 0);
  const std::size_t tablesLine = lua.scriptLines.size();
  lua.scriptLines.insert(lua.scriptLines.end(), tables.scriptLines.begin(), tables.scriptLines.end());
  for (LuaItem item : tables.items) {
    item.firstLine += tablesLine;
    lua.items.push_back(item);
  }
  tables.text.insert(0, text);
  lua.text = std::move(tables.text);
  callPathEnds(lua.text);
  const std::string& all = lua.text;

  lua.lineStarts.reserve(lua.scriptLines.size());
  lua.lineStarts.push_back(0);
  for (std::size_t at = all.find('\n'); at != std::string::npos; at = all.find('\n', at + 1)) {
    lua.lineStarts.push_back(at + 1);
  }
  return lua;
}

}  // namespace brindle::check
