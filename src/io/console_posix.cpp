// Standard streams on POSIX systems: the bytes as they are. A terminal shows
// UTF-8 itself, and no terminal closes when a program ends.
#include <cstdio>

#include "console.h"

namespace brindle {

void writeToStandardStream(StandardStream stream, std::string_view text) {
  std::FILE* const file = stream == StandardStream::kOutput ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

bool hasConsoleOfItsOwn() { return false; }

void waitForEnter() {}

}  // namespace brindle
