// Standard streams on POSIX systems: the bytes as they are. A terminal shows
// UTF-8 itself, and no terminal closes when a program ends.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "console.h"

namespace brindle {

void writeToStandardStream(StandardStream stream, std::string_view text) {
  std::FILE* const file = stream == StandardStream::kOutput ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

std::size_t readStandardInput(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

void writeStandardOutputBytes(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

bool hasConsoleOfItsOwn() { return false; }

void waitForEnter() {}

}  // namespace brindle
