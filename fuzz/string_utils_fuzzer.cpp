// libFuzzer entry point: runs the string utilities on the decoded input and
// aborts, with a message, when one of them breaks its documented behaviour.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "string_utils_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure =
      brindle::fuzz::checkStringUtils({reinterpret_cast<const char*>(data), size});
  if (!failure.empty()) {
    std::fprintf(stderr, "string utility property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
