#include "server.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <thread>

#include "analysis.h"
#include "check.h"
#include "decode.h"
#include "editor_features.h"
#include "message_reader.h"
#include "parts.h"

namespace brindle::lsp {
namespace {

using nlohmann::json;

// The protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

constexpr std::string_view kShowLua = "brindle.showLua";

json toJson(const Position& position) {
  return {{"line", position.line}, {"character", position.character}};
}
json toJson(const Range& range) { return {{"start", toJson(range.start)}, {"end", toJson(range.end)}}; }
json toJson(const TextEdit& edit) { return {{"range", toJson(edit.range)}, {"newText", edit.newText}}; }

Position positionFrom(const json& position) {
  return {position.at("line").get<std::size_t>(), position.at("character").get<std::size_t>()};
}

// One open document: its text as the editor has it, and what was made of
// its versions.
struct Document {
  std::shared_ptr<const std::string> text;
  std::size_t version = 0;  // counts the changes, from 1
  std::shared_ptr<const Analysis> analysis;
  std::size_t analysed = 0;  // the version `analysis` is of
  std::shared_ptr<const LuaView> view;
  std::size_t viewed = 0;
  std::shared_ptr<const check::CheckReport> report;
  std::size_t checked = 0;
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
};

class Server {
 public:
  explicit Server(const Write& write) : write_(write), worker_([this] { work(); }) {}
  ~Server() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
      for (auto& [uri, document] : documents_) document.stop->store(true);
    }
    wanted_.notify_all();
    worker_.join();
  }

  // Handles one message; false once the client said exit.
  bool handle(std::string content) {
    json message;
    try {
      message = json::parse(content);
    } catch (const json::parse_error& error) {
      sendError(nullptr, kParseError, std::string("the message is not JSON: ") + error.what());
      return true;
    }
    // A document's text is in the message three times at most: the bytes,
    // the parsed message and the document made of it.
    std::string().swap(content);
    if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
      // A response to a request of ours (we make none), or no message at all.
      if (message.is_object() && !message.contains("id")) return true;
      sendError(message.is_object() ? message["id"] : json(nullptr), kInvalidRequest, "a request needs a method");
      return true;
    }
    const std::string method = message["method"];
    const bool request = message.contains("id");
    const json id = request ? message["id"] : json(nullptr);
    json params = json::object();
    if (const auto found = message.find("params"); found != message.end()) params = std::move(*found);
    if (method == "exit") {
      exitCode_ = shutDown_ ? 0 : 1;
      return false;
    }
    if (!initialized_ && method != "initialize") {
      if (request) sendError(id, kServerNotInitialized, "the server is not initialized yet");
      return true;
    }
    if (shutDown_ && request) {
      sendError(id, kInvalidRequest, "the server is shutting down");
      return true;
    }
    try {
      if (request) {
        answer(id, method, params);
      } else {
        notice(method, params);
      }
    } catch (const json::exception& error) {
      if (request) sendError(id, kInvalidParams, std::string("unexpected parameters: ") + error.what());
    } catch (const std::bad_alloc&) {
      if (request) sendError(id, kRequestFailed, "out of memory");
    }
    return true;
  }

  int exitCode() const { return exitCode_; }

 private:
  void send(const json& message) {
    const std::string text = frame(message.dump(-1, ' ', false, json::error_handler_t::replace));
    const std::lock_guard<std::mutex> lock(output_);
    write_(text);
  }
  void sendResult(const json& id, const json& result) { send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}); }
  void sendError(const json& id, int code, const std::string& message) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
  }

  void answer(const json& id, const std::string& method, const json& params) {
    if (method == "initialize") {
      initialized_ = true;
      sendResult(id, capabilities());
      return;
    }
    if (method == "shutdown") {
      shutDown_ = true;
      sendResult(id, nullptr);
      return;
    }
    if (method == "workspace/executeCommand") {
      if (params.at("command") != kShowLua) {
        sendError(id, kInvalidParams, "unknown command");
        return;
      }
      const std::shared_ptr<const std::string> text = textOf(params.at("arguments").at(0).get<std::string>());
      if (!text) {
        sendResult(id, nullptr);
        return;
      }
      sendResult(id, convertedLua(*text));
      return;
    }
    static constexpr std::string_view kAboutDocuments[] = {
        "textDocument/definition", "textDocument/references",     "textDocument/completion",
        "textDocument/hover",      "textDocument/rename",         "textDocument/documentSymbol",
        "textDocument/codeLens",   "textDocument/codeAction"};
    if (std::find(std::begin(kAboutDocuments), std::end(kAboutDocuments), method) == std::end(kAboutDocuments)) {
      sendError(id, kMethodNotFound, "unknown method " + method);
      return;
    }
    const std::string uri = params.contains("textDocument") ? params["textDocument"].value("uri", "") : "";
    const std::shared_ptr<const Analysis> analysis = analysisOf(uri);
    if (!analysis) {
      sendResult(id, nullptr);
      return;
    }
    const auto position = [&] { return positionFrom(params.at("position")); };
    const auto location = [&](const Range& range) { return json{{"uri", uri}, {"range", toJson(range)}}; };
    if (method == "textDocument/definition") {
      const std::optional<Range> range = definitionAt(*analysis, position());
      sendResult(id, range ? location(*range) : json(nullptr));
    } else if (method == "textDocument/references") {
      json locations = json::array();
      const bool definitions = params.value("context", json::object()).value("includeDeclaration", false);
      for (const Range& range : referencesAt(*analysis, position(), definitions)) locations.push_back(location(range));
      sendResult(id, locations);
    } else if (method == "textDocument/completion") {
      constexpr std::size_t kMost = 1000;
      json items = json::array();
      const std::vector<Completion> completions = completionsAt(*analysis, position(), kMost);
      for (const Completion& completion : completions) {
        items.push_back({{"label", completion.name}, {"kind", static_cast<int>(completion.kind)}});
      }
      sendResult(id, {{"isIncomplete", completions.size() >= kMost}, {"items", items}});
    } else if (method == "textDocument/hover") {
      const std::shared_ptr<const LuaView> view = viewOf(uri);
      const std::optional<std::string> text = view ? hoverAt(*analysis, *view, position()) : std::nullopt;
      sendResult(id, text ? json{{"contents", {{"kind", "markdown"}, {"value", *text}}}} : json(nullptr));
    } else if (method == "textDocument/rename") {
      const Rename rename = renameAt(*analysis, position(), params.at("newName").get<std::string>());
      if (!rename.refusal.empty()) {
        sendError(id, kRequestFailed, rename.refusal);
        return;
      }
      json edits = json::array();
      for (const TextEdit& edit : rename.edits) edits.push_back(toJson(edit));
      sendResult(id, {{"changes", {{uri, edits}}}});
    } else if (method == "textDocument/documentSymbol") {
      json symbols = json::array();
      for (const Symbol& symbol : documentSymbols(*analysis)) {
        symbols.push_back({{"name", symbol.name}, {"kind", 12}, {"range", toJson(symbol.range)},
                           {"selectionRange", toJson(symbol.selection)}});
      }
      sendResult(id, symbols);
    } else if (method == "textDocument/codeLens") {
      json lenses = json::array();
      for (const Lens& lens : codeLenses(*analysis)) {
        lenses.push_back({{"range", toJson(lens.range)}, {"command", {{"title", lens.title}, {"command", ""}}}});
      }
      sendResult(id, lenses);
    } else if (method == "textDocument/codeAction") {
      json actions = json::array();
      if (const std::shared_ptr<const check::CheckReport> report = reportOf(uri)) {
        const json& range = params.at("range");
        for (const QuickFix& fix : quickFixes(*analysis, *report, {positionFrom(range.at("start")), positionFrom(range.at("end"))})) {
          actions.push_back({{"title", fix.title},
                             {"kind", "quickfix"},
                             {"edit", {{"changes", {{uri, json::array({toJson(fix.edit)})}}}}}});
        }
      }
      sendResult(id, actions);
    }
  }

  void notice(const std::string& method, json& params) {
    if (method == "textDocument/didOpen") {
      json& document = params.at("textDocument");
      update(document.at("uri").get<std::string>(),
             std::make_shared<const std::string>(std::move(document.at("text").get_ref<std::string&>())));
    } else if (method == "textDocument/didChange") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      std::shared_ptr<const std::string> text = textOf(uri);
      if (!text) return;
      std::string changed = *text;
      for (json& change : params.at("contentChanges")) {
        if (!change.contains("range")) {
          changed = std::move(change.at("text").get_ref<std::string&>());
          continue;
        }
        const LineIndex index(changed);
        const std::size_t from = index.offsetOf(positionFrom(change["range"].at("start")));
        const std::size_t to = std::max(from, index.offsetOf(positionFrom(change["range"].at("end"))));
        changed.replace(from, to - from, change.at("text").get<std::string>());
      }
      update(uri, std::make_shared<const std::string>(std::move(changed)));
    } else if (method == "textDocument/didClose") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      const std::lock_guard<std::mutex> lock(mutex_);
      const auto document = documents_.find(uri);
      if (document != documents_.end()) {
        document->second.stop->store(true);
        documents_.erase(document);
      }
      send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
    }
  }

  static json capabilities() {
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

  // The Lua brindle writes for the text, whole.
  static std::string convertedLua(const std::string& text) {
    std::string decoded;
    const ScriptText script = scriptText(text, decoded);
    Conversion conversion;
    convertInParts(script.error.empty() ? script.text : std::string_view(text), conversion);
    return conversion.lua;
  }

  // A new text for the document: the worker takes it up, and what checks
  // an older one stops.
  void update(const std::string& uri, std::shared_ptr<const std::string> text) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      Document& document = documents_[uri];
      document.stop->store(true);
      document.stop = std::make_shared<std::atomic<bool>>(false);
      document.text = std::move(text);
      ++document.version;
      // What was made of the older text goes as soon as nothing uses it.
      document.analysis.reset();
      document.view.reset();
    }
    wanted_.notify_all();
  }

  std::shared_ptr<const std::string> textOf(const std::string& uri) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto document = documents_.find(uri);
    return document == documents_.end() ? nullptr : document->second.text;
  }

  // What the worker made of the document's newest text, once it has.
  template <typename Made>
  Made madeOf(const std::string& uri, Made Document::*made, std::size_t Document::*version) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const auto document = documents_.find(uri);
      if (document == documents_.end()) return nullptr;
      if (document->second.*version == document->second.version) return document->second.*made;
      made_.wait(lock);
    }
  }
  std::shared_ptr<const Analysis> analysisOf(const std::string& uri) {
    return madeOf(uri, &Document::analysis, &Document::analysed);
  }
  std::shared_ptr<const LuaView> viewOf(const std::string& uri) {
    return madeOf(uri, &Document::view, &Document::viewed);
  }

  std::shared_ptr<const check::CheckReport> reportOf(const std::string& uri) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto document = documents_.find(uri);
    return document == documents_.end() ? nullptr : document->second.report;
  }

  // The worker: analyses and checks the newest text of each document that
  // has one not yet checked.
  void work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      std::string uri;
      Document* waiting = nullptr;
      for (auto& [name, document] : documents_) {
        if (document.checked != document.version) {
          uri = name;
          waiting = &document;
          break;
        }
      }
      if (ending_) return;
      if (!waiting) {
        wanted_.wait(lock);
        continue;
      }
      const std::shared_ptr<const std::string> text = waiting->text;
      const std::size_t version = waiting->version;
      const std::shared_ptr<std::atomic<bool>> stop = waiting->stop;
      lock.unlock();
      // The analysis first, which most requests wait for; then the check,
      // beside the Lua view, which a hover waits for.
      std::shared_ptr<const Analysis> analysis;
      std::shared_ptr<const LuaView> view;
      std::shared_ptr<const check::CheckReport> report;
      try {
        analysis = analyze(text);
      } catch (const std::bad_alloc&) {
        // Requests get null for this version.
      }
      made(uri, version, [&](Document& document) {
        document.analysis = analysis;
        document.analysed = version;
      });
      std::future<check::CheckReport> checking;
      if (analysis) {
        try {
          checking = std::async(std::launch::async,
                                [analysis, stop] { return check::checkScript(analysis->script, {}, stop.get()); });
        } catch (const std::system_error&) {
          // No thread to be had: the check runs after the view.
        }
        try {
          view = viewLua(*analysis);
        } catch (const std::bad_alloc&) {
        }
      }
      made(uri, version, [&](Document& document) {
        document.view = view;
        document.viewed = version;
      });
      try {
        if (checking.valid()) {
          report = std::make_shared<const check::CheckReport>(checking.get());
        } else if (analysis) {
          report = std::make_shared<const check::CheckReport>(check::checkScript(analysis->script, {}, stop.get()));
        }
      } catch (const check::CheckStopped&) {
      } catch (const std::bad_alloc&) {
      }
      lock.lock();
      Document* document = current(uri, version);
      if (!document) continue;
      document->checked = version;
      if (!report) continue;
      document->report = report;
      lock.unlock();
      publish(uri, *analysis, *report);
      lock.lock();
    }
  }

  // Records what was made for `version` of the document, if that is still
  // its newest, and tells the requests that wait.
  template <typename Record>
  void made(const std::string& uri, std::size_t version, const Record& record) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (Document* document = current(uri, version)) record(*document);
    }
    made_.notify_all();
  }

  // The document, if its newest version is still `version`.
  Document* current(const std::string& uri, std::size_t version) {
    const auto document = documents_.find(uri);
    return document != documents_.end() && document->second.version == version ? &document->second : nullptr;
  }

  void publish(const std::string& uri, const Analysis& analysis, const check::CheckReport& report) {
    json diagnostics = json::array();
    for (const Diagnostic& diagnostic : diagnosticsOf(analysis, report)) {
      diagnostics.push_back({{"range", toJson(diagnostic.range)},
                             {"severity", static_cast<int>(diagnostic.severity)},
                             {"code", diagnostic.code},
                             {"source", "brindle-check"},
                             {"message", diagnostic.message}});
    }
    send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"},
          {"params", {{"uri", uri}, {"diagnostics", diagnostics}}}});
  }

  const Write& write_;
  std::mutex output_;  // one message at a time on the output
  std::mutex mutex_;   // the documents
  std::condition_variable wanted_;  // a document has a text to check, or the server ends
  std::condition_variable made_;    // an analysis was made
  std::map<std::string, Document> documents_;
  bool ending_ = false;
  bool initialized_ = false;
  bool shutDown_ = false;
  int exitCode_ = 1;
  std::thread worker_;  // last: it starts once the rest is made
};

}  // namespace

int serve(const Read& read, const Write& write) {
  Server server(write);
  MessageReader reader;
  char buffer[std::size_t{1} << 16];
  for (;;) {
    const std::size_t got = read(buffer, sizeof buffer);
    if (got == 0) return 1;  // the client went without saying exit
    reader.take(std::string_view(buffer, got));
    while (std::optional<std::string> content = reader.next()) {
      if (!server.handle(std::move(*content))) return server.exitCode();
    }
  }
}

}  // namespace brindle::lsp
