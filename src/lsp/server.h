// brindle-check --lsp: the Language Server Protocol over a byte stream,
// JSON-RPC messages framed as message_reader.h reads them. Documents are
// kept as the editor sends them (whole, or changed by ranges); each version
// is analysed and checked on a thread of its own, a newer version stopping
// the check of an older one, so that a burst of changes is answered once,
// for the last. The features are those of editor_features.h. Malformed messages
// get the protocol's errors and the server goes on.
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
