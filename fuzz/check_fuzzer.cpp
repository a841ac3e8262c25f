// libFuzzer entry point: checks the input as brindle-check does and aborts,
// with a message, when any property of checkChecker fails, so that libFuzzer
// keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = brindle::fuzz::checkChecker({reinterpret_cast<const char*>(data), size});
  if (!failure.empty()) {
    std::fprintf(stderr, "checker property broken: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
