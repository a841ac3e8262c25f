// libFuzzer entry point: opens the input's text as an editor would, makes
// its edits, and aborts, with a message, when any property of checkLspEdits
// fails, so that libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lsp_edits_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = brindle::fuzz::checkLspEdits({reinterpret_cast<const char*>(data), size});
  if (!failure.empty()) {
    std::fprintf(stderr, "language server property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
