// The framing of messages: whole messages whatever the reads, several in
// one read or one over many, and malformed headers skipped with the bytes
// up to the next header.
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
      // A bad header's content is left for the reader to step over.
      {"a negative length, its content, then two",
       "Content-Length: -5\r\n\r\n{}" + frame("{\"a\":1}") + frame("[]"), {"{\"a\":1}", "[]"}, 1},
      {"a length past the limit, its content, then two",
       "Content-Length: 2147483649\r\n\r\n{}" + frame("{\"a\":1}") + frame("[]"), {"{\"a\":1}", "[]"}, 1},
      {"a blank line with no header, its content, then two", "\r\n{}" + frame("{\"a\":1}") + frame("[]"),
       {"{\"a\":1}", "[]"}, 1},
      {"bytes that end no header, then two", std::string(70000, 'x') + frame("{\"a\":1}") + frame("[]"),
       {"{\"a\":1}", "[]"}, 1},
      {"a bad header, content naming a header in lower case, then one",
       "X: 1\r\n\r\n{\"b\":2}content-length: 2\r\n\r\n{}", {"{}"}, 1},
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
      EXPECT_EQ(reader.skipped(), c.skipped) << c.name << ", reads of " << piece;
    }
  }
}

}  // namespace
}  // namespace brindle::lsp
