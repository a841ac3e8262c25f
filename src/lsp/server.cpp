#include "server.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "documents.h"
#include "editor_features.h"
#include "large_buffer.h"
#include "message_json.h"
#include "message_reader.h"
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
      : write_(write),
        documents_([this](const std::string& uri, const StoryReport& report) { publish(uri, report); }) {}

  // Handles one message; false once the client said exit.
  bool handle(std::string content) {
    json message;
    try {
      message = parseMessage(content);
    } catch (const NotJson& error) {
      // Not JSON, or a number past what JSON's numbers hold here.
      sendError(nullptr, kParseError, std::string("the message is not JSON: ") + error.what());
      return true;
    }
    // A document's text is in the message twice at most while it is read:
    // the bytes and the parsed message, whose string the document takes.
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
  // Every message that has come is handled: the documents may be checked.
  void idle() { documents_.release(); }

 private:
  void send(const json& message) { sendText(message.dump(-1, ' ', false, json::error_handler_t::replace)); }
  void sendText(std::string_view content) {
    const std::string header = frameHeader(content.size());
    const std::lock_guard<std::mutex> lock(output_);
    write_(header);
    write_(content);
  }
  void sendResult(const json& id, const json& result) { send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}); }
  // A result that is JSON text already.
  void sendResultText(const json& id, std::string_view result) {
    std::string text = R"({"jsonrpc":"2.0","id":)";
    text.append(id.dump(-1, ' ', false, json::error_handler_t::replace)).append(R"(,"result":)");
    text.append(result).append("}");
    sendText(text);
  }
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
      const json& command = params.at("command");
      if (command == kPlay) {
        play(id, params.at("arguments"));
        return;
      }
      if (command != kShowLua && command != kShowMap) {
        sendError(id, kInvalidParams, "unknown command");
        return;
      }
      const std::shared_ptr<const Story> story = documents_.storyOf(params.at("arguments").at(0).get<std::string>());
      if (story && command == kShowMap) {
        sendResultText(id, mapJson(storyMap(*story)));
        return;
      }
      sendResult(id, story ? json(storyLua(*story)) : json(nullptr));
      return;
    }
    if (!asksAboutDocument(method)) {
      sendError(id, kMethodNotFound, "unknown method " + method);
      return;
    }
    const std::string uri = params.contains("textDocument") ? params["textDocument"].value("uri", "") : "";
    const std::shared_ptr<const Story> story = documents_.storyOf(uri);
    if (!story) {
      sendResult(id, nullptr);
      return;
    }
    try {
      sendResultText(id, answerAbout(method, params, uri, *story, [&] { return documents_.reportOf(uri); }));
    } catch (const RequestRefused& refused) {
      sendError(id, kRequestFailed, refused.what());
    }
  }

  // brindle.play: the document's current text played; bad arguments are
  // an error of the request.
  void play(const json& id, const json& arguments) {
    const std::shared_ptr<const Story> story = documents_.storyOf(arguments.at(0).get<std::string>());
    if (!story) {
      sendResult(id, nullptr);
      return;
    }
    try {
      sendResultText(id, playAnswer(*story, arguments.size() > 1 ? arguments[1] : json::object()));
    } catch (const RequestRefused& refused) {
      sendError(id, kInvalidParams, refused.what());
    }
  }

  void notice(const std::string& method, json& params) {
    if (method == "textDocument/didOpen") {
      json& document = params.at("textDocument");
      documents_.open(document.at("uri").get<std::string>(), std::move(document.at("text").get_ref<std::string&>()));
    } else if (method == "textDocument/didChange") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      std::vector<Change> changes;
      for (json& change : params.at("contentChanges")) {
        std::optional<Range> range;
        if (change.contains("range")) {
          range = Range{positionFrom(change["range"].at("start")), positionFrom(change["range"].at("end"))};
        }
        changes.push_back({range, std::move(change.at("text").get_ref<std::string&>())});
      }
      documents_.change(uri, std::move(changes));
    } else if (method == "textDocument/didClose") {
      const std::string uri = params.at("textDocument").at("uri").get<std::string>();
      documents_.close(uri);
      send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"},
            {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
    }
  }

  void publish(const std::string& uri, const StoryReport& report) { sendText(diagnosticsNotification(uri, report)); }

  const Write& write_;
  std::mutex output_;  // one message at a time on the output
  bool initialized_ = false;
  bool shutDown_ = false;
  int exitCode_ = 1;
  Documents documents_;  // last: its worker publishes through the rest
};

}  // namespace

int serve(const Read& read, const Write& write) {
  // A story's diagnostics are sent as one text of megabytes after every
  // change: such blocks go back to the system as soon as they are freed.
  keepLargeBlocksApart();
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
    server.idle();
  }
}

}  // namespace brindle::lsp
