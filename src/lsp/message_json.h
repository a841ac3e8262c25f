// The JSON of a message's content, read as the JSON library reads it (the
// same values, the same texts refused), but for the memory a large string
// takes: a document's text arrives as one string of a message, and the
// library's reader holds it three times over while it reads it (the bytes,
// a copy of them for its messages, and the string it grows by doubling).
// Here each string is written once, into room the size of its bytes.
// Numbers are read by the library itself, and as the library does, a NUL
// byte after the value ends the text. A plain function; any thread may call
// it.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>

namespace brindle::lsp {

// Thrown for a content that is no JSON text, with where and why.
struct NotJson : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The JSON value `content` holds, a UTF-8 byte-order mark at its start
// allowed. Throws NotJson where it holds none, or more than one.
nlohmann::json parseMessage(std::string_view content);

}  // namespace brindle::lsp
