#include "lsp_messages_check.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "message_json.h"
#include "message_reader.h"

namespace brindle::fuzz {
namespace {

std::vector<std::string> messagesOf(std::string_view input, std::size_t piece, std::size_t& skipped) {
  lsp::MessageReader reader;
  std::vector<std::string> messages;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    reader.take(input.substr(at, piece));
    while (std::optional<std::string> message = reader.next()) messages.push_back(std::move(*message));
  }
  skipped = reader.skipped();
  return messages;
}

// The server's reading of a message's JSON is the library's: the same
// values, the same texts refused.
std::string checkMessageJson(std::string_view text) {
  std::optional<nlohmann::json> library;
  try {
    library = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception&) {
  }
  std::optional<nlohmann::json> ours;
  try {
    ours = lsp::parseMessage(text);
  } catch (const lsp::NotJson&) {
  }
  if (library.has_value() != ours.has_value()) {
    return library ? "a JSON text the library reads is refused" : "a text the library refuses is read";
  }
  if (library && *library != *ours) return "a JSON text is read as another value than the library reads";
  return {};
}

}  // namespace

std::string checkLspMessages(std::string_view input) {
  for (const std::string_view text : {input, input.substr(input.size() / 2)}) {
    if (std::string failure = checkMessageJson(text); !failure.empty()) return failure;
  }
  std::size_t skipped = 0;
  const std::vector<std::string> whole = messagesOf(input, input.size() + 1, skipped);
  // The read sizes follow from the input, so that a finding replays.
  const std::size_t piece = input.empty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 7;
  for (const std::size_t size : {std::size_t{1}, piece}) {
    std::size_t skippedInPieces = 0;
    if (messagesOf(input, size, skippedInPieces) != whole) {
      return "reads of " + std::to_string(size) + " bytes give other messages than one read";
    }
    if (skippedInPieces != skipped) return "reads of another size skip another number of headers";
  }
  std::string framed;
  for (const std::string& message : whole) framed += lsp::frame(message);
  std::size_t skippedAgain = 0;
  if (messagesOf(framed, framed.size() + 1, skippedAgain) != whole || skippedAgain != 0) {
    return "the messages framed again do not read back as themselves";
  }
  // A bad header, then content that names no header (the input without its
  // colons): the content is stepped over and the frames after it read.
  std::string stream = "Content-Length: -1\r\n\r\n";
  for (const char c : input) {
    if (c != ':') stream += c;
  }
  stream += framed;
  for (const std::size_t size : {stream.size() + 1, piece}) {
    std::size_t skippedBefore = 0;
    if (messagesOf(stream, size, skippedBefore) != whole || skippedBefore != 1) {
      return "after a bad header and its content, reads of " + std::to_string(size) +
             " bytes do not give the frames that follow";
    }
  }
  return {};
}

}  // namespace brindle::fuzz
