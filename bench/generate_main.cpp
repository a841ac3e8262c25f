// brindle_generate: writes a generated script to standard output.
//   brindle_generate realistic|mixed MEGABYTES [SEED]
//   brindle_generate deep|blanks|path_end|variables|empty|nul|invalid_utf8|lone_cr|one_line MEGABYTES
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "script_generator.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: brindle_generate realistic|mixed MEGABYTES [SEED]\n"
                 "       brindle_generate deep|blanks|path_end|variables|empty|nul|invalid_utf8|lone_cr|one_line MEGABYTES\n");
    return 2;
  }
  const std::string kind = argv[1];
  const auto bytes = static_cast<std::size_t>(std::strtod(argv[2], nullptr) * 1e6);
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  try {
    const std::string text = kind == "realistic" ? brindle::bench::generateRealistic(bytes, seed)
                             : kind == "mixed"   ? brindle::bench::generateMixed(bytes, seed)
                                                 : brindle::bench::generateHostile(kind, bytes);
    std::fwrite(text.data(), 1, text.size(), stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brindle_generate: %s\n", e.what());
    return 2;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
