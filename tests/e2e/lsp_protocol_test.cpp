// brindle-check --lsp as an editor meets it: the real program on pipes,
// the protocol's errors, a bad frame stepped over, its lifecycle and exit
// codes, a story's diagnostics and answers, and a burst of changes answered
// once.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

using nlohmann::json;

// The server on pipes.
class Server {
 public:
  Server() {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(BRINDLE_CHECK_EXECUTABLE, BRINDLE_CHECK_EXECUTABLE, "--lsp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~Server() {
    if (to_ >= 0) close(to_);
    if (pid_ > 0 && exitCode() < 0) kill(pid_, SIGKILL);
    if (from_ >= 0) close(from_);
  }

  void sendBytes(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t wrote = write(to_, bytes.data() + at, bytes.size() - at);
      if (wrote <= 0) return;
      at += static_cast<std::size_t>(wrote);
    }
  }
  void send(const json& message) {
    const std::string content = message.dump();
    sendBytes("Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" + content);
  }
  // The next message, or none within `seconds`.
  std::optional<json> next(double seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      const std::size_t header = buffer_.find("\r\n\r\n");
      if (header != std::string::npos) {
        const std::size_t length = std::stoul(buffer_.substr(buffer_.find(':') + 1));
        if (buffer_.size() >= header + 4 + length) {
          json message = json::parse(buffer_.substr(header + 4, length));
          buffer_.erase(0, header + 4 + length);
          return message;
        }
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd wait{from_, POLLIN, 0};
      if (poll(&wait, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      char bytes[65536];
      const ssize_t got = read(from_, bytes, sizeof bytes);
      if (got <= 0) return std::nullopt;
      buffer_.append(bytes, static_cast<std::size_t>(got));
    }
  }
  // The next message with this id or method.
  json until(const json& id, const std::string& method = "") {
    for (;;) {
      std::optional<json> message = next();
      if (!message) return nullptr;
      if (method.empty() ? message->value("id", json()) == id : message->value("method", "") == method) return *message;
    }
  }
  void closeInput() {
    close(to_);
    to_ = -1;
  }
  // The exit code once ended (waiting up to ten seconds), or -1.
  int exitCode() {
    for (int tries = 0; tries < 1000 && code_ < 0; ++tries) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        break;
      }
      usleep(10000);
    }
    return code_;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  int code_ = -1;
  std::string buffer_;
};

json request(int id, const std::string& method, const json& params = json::object()) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
}
json notification(const std::string& method, const json& params = json::object()) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
}

TEST(LspProtocolTest, ErrorsAndTheServerGoesOn) {
  Server server;
  struct Case {
    const char* name;
    std::string bytes;  // sent as they are
    int code;           // of the error
  };
  const std::vector<Case> cases = {
      {"a request before initialize", json(request(1, "textDocument/hover")).dump(), -32002},
      {"malformed JSON", "{\"jsonrpc\": 2.0,", -32700},
      {"a number past what JSON holds", "{\"jsonrpc\": \"2.0\", \"id\": 1e999}", -32700},
      {"no method", json({{"jsonrpc", "2.0"}, {"id", 3}}).dump(), -32600},
  };
  for (const Case& c : cases) {
    server.sendBytes("Content-Length: " + std::to_string(c.bytes.size()) + "\r\n\r\n" + c.bytes);
    const std::optional<json> answer = server.next();
    ASSERT_TRUE(answer) << c.name;
    EXPECT_EQ((*answer)["error"]["code"], c.code) << c.name << ": " << answer->dump();
  }
  server.send(request(4, "initialize", {{"capabilities", json::object()}}));
  EXPECT_EQ(server.until(4)["result"]["capabilities"]["positionEncoding"], "utf-16");
  server.send(notification("workspace/somethingNew"));  // an unknown notification: no answer
  server.send(request(5, "textDocument/unknown"));
  EXPECT_EQ(server.until(5)["error"]["code"], -32601);
  server.send(request(6, "shutdown"));
  EXPECT_TRUE(server.until(6).contains("result"));
  server.send(request(7, "textDocument/hover"));  // after shutdown
  EXPECT_EQ(server.until(7)["error"]["code"], -32600);
  server.send(notification("exit"));
  EXPECT_EQ(server.exitCode(), 0);
}

TEST(LspProtocolTest, ABadFrameAndTheRequestsAfterItAnswered) {
  Server server;
  server.send(request(1, "initialize", {{"capabilities", json::object()}}));
  server.until(1);
  struct Case {
    const char* name;
    std::string bytes;  // a bad header and its content, sent with the requests after it in one write
  };
  const std::vector<Case> cases = {
      {"a negative length", "Content-Length: -5\r\n\r\n{}"},
      {"a length past the limit", "Content-Length: 4294967296\r\n\r\n{}"},
      {"a blank line with no header", "\r\n{}"},
  };
  int id = 2;
  for (const Case& c : cases) {
    std::string bytes = c.bytes;
    for (const int asked : {id, id + 1}) {
      const std::string content = json(request(asked, "textDocument/unknown")).dump();
      bytes += "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" + content;
    }
    server.sendBytes(bytes);
    for (const int asked : {id, id + 1}) {
      const std::optional<json> answer = server.next();
      ASSERT_TRUE(answer) << c.name << ": no answer to request " << asked;
      EXPECT_EQ((*answer)["id"], asked) << c.name;
      EXPECT_EQ((*answer)["error"]["code"], -32601) << c.name << ": " << answer->dump();
    }
    id += 2;
  }
  server.send(request(id, "shutdown"));
  EXPECT_TRUE(server.until(id).contains("result"));
  server.send(notification("exit"));
  EXPECT_EQ(server.exitCode(), 0);
}

TEST(LspProtocolTest, ExitCodes) {
  struct Case {
    const char* name;
    bool shutdown;
    bool exit;
    int code;
  };
  const Case cases[] = {
      {"shutdown then exit", true, true, 0},
      {"exit alone", false, true, 1},
      {"the input ends", false, false, 1},
  };
  for (const Case& c : cases) {
    Server server;
    server.send(request(1, "initialize", {{"capabilities", json::object()}}));
    server.until(1);
    if (c.shutdown) {
      server.send(request(2, "shutdown"));
      server.until(2);
    }
    if (c.exit) server.send(notification("exit"));
    if (!c.exit) server.closeInput();
    EXPECT_EQ(server.exitCode(), c.code) << c.name;
  }
}

TEST(LspProtocolTest, AStoryAnsweredWhereTheAuthorTypes) {
  Server server;
  const std::string uri = "file:///stories/caf%C3%A9/test.py";
  server.send(request(1, "initialize", {{"capabilities", json::object()}}));
  server.until(1);
  server.send(notification("initialized"));
  // "é" and "先" count one unit, the emoji two.
  const std::string story =
      "label start:\n    e \"caf\xC3\xA9 \xF0\x9F\x98\x80\" and x != 1\n    jump_out market\n"
      "label market:\n    e \"\xE5\x85\x88 call me\"\n";
  server.send(notification("textDocument/didOpen",
                           {{"textDocument", {{"uri", uri}, {"languageId", "brindle"}, {"version", 1}, {"text", story}}}}));
  json published = server.until(nullptr, "textDocument/publishDiagnostics");
  ASSERT_TRUE(published.is_object());
  const json& diagnostics = published["params"]["diagnostics"];
  ASSERT_EQ(diagnostics.size(), 2u) << published.dump();
  EXPECT_EQ(diagnostics[0]["range"], json::parse(R"({"start":{"line":1,"character":22},"end":{"line":1,"character":24}})"));
  EXPECT_EQ(diagnostics[0]["severity"], 1);
  EXPECT_EQ(diagnostics[1]["code"], "textChange");
  EXPECT_EQ(diagnostics[1]["severity"], 2);

  const json at = {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 2}, {"character", 15}}}};
  server.send(request(2, "textDocument/definition", at));
  EXPECT_EQ(server.until(2)["result"], json::parse(R"({"uri":")" + uri + R"(","range":{"start":{"line":3,"character":6},"end":{"line":3,"character":12}}})"));
  json renaming = at;
  renaming["newName"] = "bazaar";
  server.send(request(3, "textDocument/rename", renaming));
  EXPECT_EQ(server.until(3)["result"]["changes"][uri].size(), 2u);
  server.send(request(4, "workspace/executeCommand", {{"command", "brindle.showLua"}, {"arguments", {uri}}}));
  EXPECT_EQ(server.until(4)["result"].get<std::string>().rfind("-- This file was automatically generated by Brindle\n", 0), 0u);

  // A burst of changes is answered once, for the last.
  std::string burst;
  for (int k = 0; k < 10; ++k) {
    const std::string content =
        json(notification("textDocument/didChange",
                          {{"textDocument", {{"uri", uri}, {"version", k + 2}}},
                           {"contentChanges", {{{"range", {{"start", {{"line", 0}, {"character", 0}}},
                                                           {"end", {{"line", 0}, {"character", 0}}}}},
                                                {"text", k == 9 ? "label a:\n    x = (\n" : "\n"}}}}}))
            .dump();
    burst += "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" + content;
  }
  server.sendBytes(burst);
  int answers = 0;
  json last;
  while (std::optional<json> message = server.next(3)) {
    if ((*message)["method"] != "textDocument/publishDiagnostics") continue;
    ++answers;
    last = *message;
  }
  EXPECT_GE(answers, 1);
  EXPECT_LE(answers, 2);  // the one under way when the burst came, at most, and the last
  ASSERT_TRUE(last.is_object());
  EXPECT_EQ(last["params"]["diagnostics"][0]["range"]["start"]["line"], 1) << last.dump();
  server.send(request(5, "shutdown"));
  server.until(5);
  server.send(notification("exit"));
  EXPECT_EQ(server.exitCode(), 0);
}

TEST(LspProtocolTest, TheMapAndTheHintsOfLabelsNoJumpReaches) {
  Server server;
  const std::string uri = "file:///stories/map/test.py";
  server.send(request(1, "initialize", {{"capabilities", json::object()}}));
  EXPECT_EQ(server.until(1)["result"]["capabilities"]["executeCommandProvider"]["commands"],
            json::parse(R"(["brindle.showLua", "brindle.map", "brindle.play"])"));
  const std::string story =
      "label start:\n    jump_out \"q\\\n    jump_out far\n    jump_out far\nlabel \"q\\:\n    e \"x\"\n"
      "label lost:\n    jump_out start\n";
  server.send(notification("textDocument/didOpen",
                           {{"textDocument", {{"uri", uri}, {"languageId", "brindle"}, {"version", 1}, {"text", story}}}}));
  const json published = server.until(nullptr, "textDocument/publishDiagnostics");
  json hints = json::array();
  for (const json& diagnostic : published["params"]["diagnostics"]) {
    if (diagnostic["severity"] == 4) hints.push_back(diagnostic);
  }
  EXPECT_EQ(hints, json::parse(R"([{"range": {"start": {"line": 6, "character": 6}, "end": {"line": 6, "character": 10}},
      "severity": 4, "tags": [1], "source": "brindle", "message": "no jump_out leads to label lost"}])"));
  server.send(request(2, "workspace/executeCommand", {{"command", "brindle.map"}, {"arguments", {uri}}}));
  EXPECT_EQ(server.until(2)["result"], json::parse(R"({
      "nodes": [{"name": "start", "line": 1, "entries": 3, "start": true, "reached": true, "defined": true},
                {"name": "\"q\\", "line": 5, "entries": 1, "start": false, "reached": true, "defined": true},
                {"name": "lost", "line": 7, "entries": 1, "start": false, "reached": false, "defined": true},
                {"name": "far", "line": 3, "entries": 0, "start": false, "reached": true, "defined": false}],
      "edges": [{"from": "start", "to": "\"q\\", "count": 1, "line": 2},
                {"from": "start", "to": "far", "count": 2, "line": 3},
                {"from": "lost", "to": "start", "count": 1, "line": 8}]})"));
  server.send(request(3, "workspace/executeCommand", {{"command", "brindle.map"}, {"arguments", {"file:///none"}}}));
  EXPECT_EQ(server.until(3)["result"], nullptr);
  server.send(request(4, "shutdown"));
  server.until(4);
  server.send(notification("exit"));
  EXPECT_EQ(server.exitCode(), 0);
}

// brindle.play gives the document of brindle-check --play --json, from the
// document's text as the editor holds it; bad arguments are errors.
TEST(LspProtocolTest, PlayGivesTheDocumentOfTheCommandLine) {
  const std::string story = readFile(BRINDLE_SOURCE_DIR "/examples/tour/test.py");
  TempDir dir;
  writeFile(dir.file("test.py"), story);
  const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {},
                                   {"--play", "--json", "--from", "market", "--set", "met_guide=true",
                                    "--set", "coins=20", "--steps", "40"});
  Server server;
  const std::string uri = "file:///stories/tour/test.py";
  server.send(request(1, "initialize", {{"capabilities", json::object()}}));
  EXPECT_NE(server.until(1)["result"]["capabilities"]["executeCommandProvider"]["commands"].dump().find("brindle.play"),
            std::string::npos);
  server.send(notification("textDocument/didOpen",
                           {{"textDocument", {{"uri", uri}, {"languageId", "brindle"}, {"version", 1}, {"text", story}}}}));
  const json options = {{"from", "market"}, {"set", {{"met_guide", "true"}, {"coins", "20"}}}, {"steps", 40}};
  server.send(request(2, "workspace/executeCommand", {{"command", "brindle.play"}, {"arguments", {uri, options}}}));
  const json played = server.until(2)["result"];
  EXPECT_EQ(played, json::parse(run.out));
  EXPECT_EQ(played["end"]["kind"], "pathEnd") << played.dump();

  const json bad[] = {json{{"steps", "many"}}, json{{"from", "nowhere"}}, json{{"set", {{"coins", "lots"}}}}};
  for (int k = 0; k < 3; ++k) {
    server.send(request(3 + k, "workspace/executeCommand", {{"command", "brindle.play"}, {"arguments", {uri, bad[k]}}}));
    EXPECT_EQ(server.until(3 + k)["error"]["code"], -32602) << bad[k].dump();
  }
}

}  // namespace
}  // namespace brindle::test
