#include "requests.h"

#include "play.h"
#include "play_json.h"
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

// `text` as a JSON string: its bytes as they are where they need no escape,
// which is nearly always, else as the JSON library writes them.
void appendJsonString(std::string& out, std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\';
  });
  if (!plain) {
    out.append(json(text).dump(-1, ' ', false, json::error_handler_t::replace));
    return;
  }
  out.push_back('"');
  out.append(text);
  out.push_back('"');
}

void appendPosition(std::string& out, const Position& position) {
  out.append("{\"line\":").append(std::to_string(position.line));
  out.append(",\"character\":").append(std::to_string(position.character)).append("}");
}

void appendRange(std::string& out, const Range& range) {
  out.append(R"({"start":)");
  appendPosition(out, range.start);
  out.append(R"(,"end":)");
  appendPosition(out, range.end);
  out.push_back('}');
}

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
            {"executeCommandProvider", {{"commands", {kShowLua, kShowMap, kPlay}}}}}},
          {"serverInfo", {{"name", "brindle-check"}, {"version", BRINDLE_VERSION}}}};
}

std::string playAnswer(const Story& story, const json& options) {
  if (!options.is_object()) throw RequestRefused("brindle.play takes [uri, {from, set, steps}]");
  check::PlayOptions playing;
  if (const auto from = options.find("from"); from != options.end()) {
    if (!from->is_string()) throw RequestRefused("\"from\" is the name of a label");
    playing.from = from->get<std::string>();
  }
  if (const auto set = options.find("set"); set != options.end()) {
    if (!set->is_object()) throw RequestRefused("\"set\" maps names to values as typed");
    for (const auto& [name, value] : set->items()) {
      if (!value.is_string()) throw RequestRefused("the value of \"" + name + "\" is a string, as typed");
      playing.set.push_back({name, value.get<std::string>()});
    }
  }
  if (const auto steps = options.find("steps"); steps != options.end()) {
    if (!steps->is_number_unsigned()) throw RequestRefused("\"steps\" is a number of entries");
    playing.steps = steps->get<std::size_t>();
  }
  const std::string text = story.text();
  const check::PlayReport report = check::playScript(text, playing);
  if (!report.refusal.empty()) throw RequestRefused(report.refusal);
  return check::playJson(report);
}

bool asksAboutDocument(std::string_view method) {
  return std::find(std::begin(kAboutDocuments), std::end(kAboutDocuments), method) != std::end(kAboutDocuments);
}

namespace {

json answerAsJson(std::string_view method, const json& params, const std::string& uri, const Story& story,
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
  // textDocument/codeAction: the quick fixes of the latest check.
  json actions = json::array();
  if (const std::shared_ptr<const StoryReport> report = latestReport()) {
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

}  // namespace

std::string answerAbout(std::string_view method, const json& params, const std::string& uri, const Story& story,
                        const LatestReport& latestReport) {
  // The answers that grow with the story (a symbol and a lens for each
  // label) are written out directly; the others as the JSON library
  // writes them.
  if (method == "textDocument/documentSymbol" || method == "textDocument/codeLens") {
    std::string out = "[";
    const auto next = [&out] { out.append(out.size() > 1 ? ",{" : "{"); };
    if (method == "textDocument/documentSymbol") {
      for (const Symbol& symbol : documentSymbols(story)) {
        next();
        out.append(R"("name":)");
        appendJsonString(out, symbol.name);
        out.append(R"(,"kind":)").append(std::to_string(kSymbolKindFunction)).append(R"(,"range":)");
        appendRange(out, symbol.range);
        out.append(R"(,"selectionRange":)");
        appendRange(out, symbol.selection);
        out.push_back('}');
      }
    } else {
      for (const Lens& lens : codeLenses(story)) {
        next();
        out.append(R"("range":)");
        appendRange(out, lens.range);
        out.append(R"(,"command":{"title":)");
        appendJsonString(out, lens.title);
        out.append(R"(,"command":""}})");
      }
    }
    return out.append("]");
  }
  return answerAsJson(method, params, uri, story, latestReport).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string mapJson(const StoryMap& map) {
  std::string out = R"({"nodes":[)";
  const auto flag = [&out](const char* key, bool value) {
    out.append(R"(,")").append(key).append(value ? R"(":true)" : R"(":false)");
  };
  for (const MapNode& node : map.nodes) {
    out.append(&node == map.nodes.data() ? R"({"name":)" : R"(,{"name":)");
    appendJsonString(out, node.name);
    out.append(R"(,"line":)").append(std::to_string(node.line));
    out.append(R"(,"entries":)").append(std::to_string(node.entries));
    flag("start", node.start);
    flag("reached", node.reached);
    flag("defined", node.defined);
    out.push_back('}');
  }
  out.append(R"(],"edges":[)");
  for (const MapEdge& edge : map.edges) {
    out.append(&edge == map.edges.data() ? R"({"from":)" : R"(,{"from":)");
    appendJsonString(out, map.nodes[edge.from].name);
    out.append(R"(,"to":)");
    appendJsonString(out, map.nodes[edge.to].name);
    out.append(R"(,"count":)").append(std::to_string(edge.count));
    out.append(R"(,"line":)").append(std::to_string(edge.line)).push_back('}');
  }
  return out.append("]}");
}

std::string diagnosticsNotification(const std::string& uri, const StoryReport& report) {
  std::string out = R"({"jsonrpc":"2.0","method":"textDocument/publishDiagnostics","params":{"uri":)";
  appendJsonString(out, uri);
  out.append(R"(,"diagnostics":[)");
  bool first = true;
  forEachDiagnostic(report, [&](const Range& range, Severity severity, std::string_view code, std::string_view message) {
    out.append(first ? "{" : ",{");
    first = false;
    out.append(R"("range":{"start":)");
    appendPosition(out, range.start);
    out.append(R"(,"end":)");
    appendPosition(out, range.end);
    out.append(R"(},"severity":)").append(std::to_string(static_cast<int>(severity)));
    if (severity == Severity::hint) {
      // A label no jump reaches: its name drawn as unneeded.
      out.append(R"(,"tags":[1],"source":"brindle","message":)");
    } else {
      out.append(R"(,"code":)");
      appendJsonString(out, code);
      out.append(R"(,"source":"brindle-check","message":)");
    }
    appendJsonString(out, message);
    out.push_back('}');
  });
  out.append("]}}");
  return out;
}

}  // namespace brindle::lsp
