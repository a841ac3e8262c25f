// Standard output and error as the person running Brindle sees them, and the
// pause that keeps a console window Brindle opened on its own from closing
// before its messages are read. Texts are UTF-8 throughout.
#pragma once

#include <cstddef>
#include <string_view>

namespace brindle {

enum class StandardStream { kOutput, kError };

// Writes UTF-8 `text` to the stream and flushes it. A Windows console is
// given the text as UTF-16, so that every language shows whatever its code
// page; a file or pipe gets the bytes, on Windows with each line feed as a
// carriage return and a line feed, as a text stream writes them.
void writeToStandardStream(StandardStream stream, std::string_view text);

// Reads what standard input has to give, up to `size` bytes, as they are;
// 0 once it has ended.
std::size_t readStandardInput(char* buffer, std::size_t size);

// Writes bytes to standard output as they are, on Windows too, and flushes:
// for a protocol, not for people.
void writeStandardOutputBytes(std::string_view bytes);

// Whether to ask for Enter before exiting. A program that is the only one on
// its console was given a console of its own, as Explorer does on a
// double-click, and the window closes with it. Started from a console or a
// script, or with input or output redirected, it must never wait.
constexpr bool shouldWaitForEnter(unsigned long processesOnConsole, bool inputIsConsole,
                                  bool outputIsConsole) {
  return processesOnConsole == 1 && inputIsConsole && outputIsConsole;
}

// shouldWaitForEnter for this process; always false outside Windows.
bool hasConsoleOfItsOwn();

// Reads from the console up to and including a line end (or until input
// ends). Does nothing outside Windows.
void waitForEnter();

}  // namespace brindle
