#include "server.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "analysis.h"
#include "check.h"
#include "decode.h"
#include "documents.h"
#include "message_reader.h"
#include "parts.h"
#include "requests.h"

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

class Server {
 public:
  explicit Server(const Write& write)
      : write_(write), documents_([this](const std::string& uri, const Analysis& analysis,
                                         const check::CheckReport& report) { publish(uri, analysis, report); }) {}

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
      const std::shared_ptr<const std::string> text = documents_.textOf(params.at("arguments").at(0).get<std::string>());
      if (!text) {
        sendResult(id, nullptr);
        return;
      }
      sendResult(id, convertedLua(*text));
      return;
    }
    if (!asksAboutDocument(method)) {
      sendError(id, kMethodNotFound, "unknown method " + method);
      return;
    }
    const std::string uri = params.contains("textDocument") ? params["textDocument"].value("uri", "") : "";
    const std::shared_ptr<const Analysis> analysis = documents_.analysisOf(uri);
    if (!analysis) {
      sendResult(id, nullptr);
      return;
    }
    const Beside beside{[&] { return documents_.viewOf(uri); }, [&] { return documents_.reportOf(uri); }};
    try {
      sendResult(id, answerAbout(method, params, uri, *analysis, beside));
    } catch (const RequestRefused& refused) {
      sendError(id, kRequestFailed, refused.what());
    }
  }

  void notice(const std::string& method, json& params) {
    if (method == "textDocument/didOpen") {
      json& document = params.at("textDocument");
      documents_.update(document.at("uri").get<std::string>(),
             std::make_shared<const std::string>(std::move(document.at("text").get_ref<std::string&>())));
    } else if (method == "textDocument/didChange") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      std::shared_ptr<const std::string> text = documents_.textOf(uri);
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
      documents_.update(uri, std::make_shared<const std::string>(std::move(changed)));
    } else if (method == "textDocument/didClose") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      documents_.close(uri);
      send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
    }
  }

  // The Lua brindle writes for the text, whole.
  static std::string convertedLua(const std::string& text) {
    std::string decoded;
    const ScriptText script = scriptText(text, decoded);
    Conversion conversion;
    convertInParts(script.error.empty() ? script.text : std::string_view(text), conversion);
    return conversion.lua;
  }

  void publish(const std::string& uri, const Analysis& analysis, const check::CheckReport& report) {
    send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"},
          {"params", diagnosticsParams(uri, analysis, report)}});
  }

  const Write& write_;
  std::mutex output_;  // one message at a time on the output
  bool initialized_ = false;
  bool shutDown_ = false;
  int exitCode_ = 1;
  Documents documents_;  // last: its worker publishes through the rest
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
