// The framing of messages: whole messages whatever the reads, several in
// one read or one over many, and malformed headers skipped.
#include "message_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::lsp {
namespace {

TEST(MessageReaderTest, HandsOutWholeMessagesWhateverTheReads) {
  struct Case {
    const char* name;
    std::string stream;
    std::vector<std::string> messages;
    std::size_t skipped;
  };
  const std::vector<Case> cases = {
      {"two in a row", frame("{\"a\":1}") + frame("[]"), {"{\"a\":1}", "[]"}, 0},
      {"other headers and letter case",
       "Content-Type: application/vscode-jsonrpc; charset=utf-8\r\ncontent-length: 2\r\n\r\n{}", {"{}"}, 0},
      {"an empty message", frame(""), {""}, 0},
      {"no length, then a good one", "X: 1\r\n\r\n" + frame("{}"), {"{}"}, 1},
      {"a length that is no number", "Content-Length: 1e3\r\n\r\n" + frame("{}"), {"{}"}, 1},
      {"a length past the largest", "Content-Length: 99999999999999999999\r\n\r\n" + frame("{}"), {"{}"}, 1},
      {"bytes that end no header", std::string(70000, 'x') + "\r\n\r\n" + frame("{}"), {"{}"}, 1},
      {"a message not yet whole", "Content-Length: 10\r\n\r\n{\"a\"", {}, 0},
      {"content that holds a header", frame("Content-Length: 3\r\n\r\nabc"), {"Content-Length: 3\r\n\r\nabc"}, 0},
  };
  for (const Case& c : cases) {
    // At once, and a byte at a time: the same messages.
    for (const std::size_t piece : {c.stream.size() + 1, std::size_t{1}, std::size_t{7}}) {
      MessageReader reader;
      std::vector<std::string> messages;
      for (std::size_t at = 0; at < c.stream.size(); at += piece) {
        reader.take(std::string_view(c.stream).substr(at, piece));
        while (std::optional<std::string> message = reader.next()) messages.push_back(*message);
      }
      EXPECT_EQ(messages, c.messages) << c.name << ", reads of " << piece;
      // Bytes that end no header may be skipped in more than one go when
      // they arrive slowly.
      if (piece > c.stream.size()) {
        EXPECT_EQ(reader.skipped(), c.skipped) << c.name;
      }
      EXPECT_EQ(reader.skipped() > 0, c.skipped > 0) << c.name << ", reads of " << piece;
    }
  }
}

}  // namespace
}  // namespace brindle::lsp
