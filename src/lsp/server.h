// brindle-check --lsp: the Language Server Protocol over a byte stream,
// JSON-RPC messages framed as message_reader.h reads them. The documents
// are kept as the editor sends them (whole, or changed by ranges) and
// analysed and checked as documents.h says; requests are answered as
// requests.h says. Malformed messages get the protocol's errors and the
// server goes on.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace brindle::lsp {

// Reads up to `size` bytes into `buffer`; 0 when the input has ended.
using Read = std::function<std::size_t(char* buffer, std::size_t size)>;
// Writes bytes, whole.
using Write = std::function<void(std::string_view bytes)>;

// Serves until the client says exit, or the input ends. Returns the exit
// code: 0 after shutdown then exit, 1 otherwise.
int serve(const Read& read, const Write& write);

}  // namespace brindle::lsp
