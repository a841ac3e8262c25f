// libFuzzer entry point: feeds the input to the language server's message
// reader and aborts, with a message, when any property of checkLspMessages
// fails, so that libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lsp_messages_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = brindle::fuzz::checkLspMessages({reinterpret_cast<const char*>(data), size});
  if (!failure.empty()) {
    std::fprintf(stderr, "message reader property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
