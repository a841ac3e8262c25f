#include "requests.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace brindle::lsp {
namespace {

using nlohmann::json;

// The protocol's kind of a document symbol that is a label's block.
constexpr int kSymbolKindFunction = 12;

json toJson(const Range& range) { return {{"start", toJson(range.start)}, {"end", toJson(range.end)}}; }
json toJson(const TextEdit& edit) { return {{"range", toJson(edit.range)}, {"newText", edit.newText}}; }

constexpr std::string_view kAboutDocuments[] = {
    "textDocument/definition", "textDocument/references", "textDocument/completion",
    "textDocument/hover",      "textDocument/rename",     "textDocument/documentSymbol",
    "textDocument/codeLens",   "textDocument/codeAction"};

}  // namespace

json toJson(const Position& position) { return {{"line", position.line}, {"character", position.character}}; }

Position positionFrom(const json& position) {
  return {position.at("line").get<std::size_t>(), position.at("character").get<std::size_t>()};
}

json capabilities() {
  return {{"capabilities",
           {{"positionEncoding", "utf-16"},
            {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
            {"definitionProvider", true},
            {"referencesProvider", true},
            {"completionProvider", {{"triggerCharacters", {" "}}}},
            {"hoverProvider", true},
            {"renameProvider", true},
            {"documentSymbolProvider", true},
            {"codeLensProvider", {{"resolveProvider", false}}},
            {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
            {"executeCommandProvider", {{"commands", {kShowLua}}}}}},
          {"serverInfo", {{"name", "brindle-check"}, {"version", BRINDLE_VERSION}}}};
}

bool asksAboutDocument(std::string_view method) {
  return std::find(std::begin(kAboutDocuments), std::end(kAboutDocuments), method) != std::end(kAboutDocuments);
}

json answerAbout(std::string_view method, const json& params, const std::string& uri, const Story& story,
                 const LatestReport& latestReport) {
  const auto position = [&] { return positionFrom(params.at("position")); };
  const auto location = [&](const Range& range) { return json{{"uri", uri}, {"range", toJson(range)}}; };
  if (method == "textDocument/definition") {
    const std::optional<Range> range = definitionAt(story, position());
    return range ? location(*range) : json(nullptr);
  }
  if (method == "textDocument/references") {
    json locations = json::array();
    const bool definitions = params.value("context", json::object()).value("includeDeclaration", false);
    for (const Range& range : referencesAt(story, position(), definitions)) locations.push_back(location(range));
    return locations;
  }
  if (method == "textDocument/completion") {
    constexpr std::size_t kMost = 1000;
    json items = json::array();
    const std::vector<Completion> completions = completionsAt(story, position(), kMost);
    for (const Completion& completion : completions) {
      items.push_back({{"label", completion.name}, {"kind", static_cast<int>(completion.kind)}});
    }
    return {{"isIncomplete", completions.size() >= kMost}, {"items", items}};
  }
  if (method == "textDocument/hover") {
    const std::optional<std::string> text = hoverAt(story, position());
    return text ? json{{"contents", {{"kind", "markdown"}, {"value", *text}}}} : json(nullptr);
  }
  if (method == "textDocument/rename") {
    const Rename rename = renameAt(story, position(), params.at("newName").get<std::string>());
    if (!rename.refusal.empty()) throw RequestRefused(rename.refusal);
    json edits = json::array();
    for (const TextEdit& edit : rename.edits) edits.push_back(toJson(edit));
    return {{"changes", {{uri, edits}}}};
  }
  if (method == "textDocument/documentSymbol") {
    json symbols = json::array();
    for (const Symbol& symbol : documentSymbols(story)) {
      symbols.push_back({{"name", symbol.name}, {"kind", kSymbolKindFunction}, {"range", toJson(symbol.range)},
                         {"selectionRange", toJson(symbol.selection)}});
    }
    return symbols;
  }
  if (method == "textDocument/codeLens") {
    json lenses = json::array();
    for (const Lens& lens : codeLenses(story)) {
      lenses.push_back({{"range", toJson(lens.range)}, {"command", {{"title", lens.title}, {"command", ""}}}});
    }
    return lenses;
  }
  // textDocument/codeAction: the quick fixes of the latest check.
  json actions = json::array();
  if (const std::shared_ptr<const check::CheckReport> report = latestReport()) {
    const json& range = params.at("range");
    const Range asked{positionFrom(range.at("start")), positionFrom(range.at("end"))};
    for (const QuickFix& fix : quickFixes(story, *report, asked)) {
      actions.push_back({{"title", fix.title},
                         {"kind", "quickfix"},
                         {"edit", {{"changes", {{uri, json::array({toJson(fix.edit)})}}}}}});
    }
  }
  return actions;
}

json diagnosticsParams(const std::string& uri, const Story& story, const check::CheckReport& report) {
  json diagnostics = json::array();
  for (const Diagnostic& diagnostic : diagnosticsOf(story, report)) {
    diagnostics.push_back({{"range", toJson(diagnostic.range)},
                           {"severity", static_cast<int>(diagnostic.severity)},
                           {"code", diagnostic.code},
                           {"source", "brindle-check"},
                           {"message", diagnostic.message}});
  }
  return {{"uri", uri}, {"diagnostics", diagnostics}};
}

}  // namespace brindle::lsp
