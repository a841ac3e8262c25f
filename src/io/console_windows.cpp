// Standard streams on Windows. A console is written through WriteConsoleW,
// which shows any character whatever the console's code page; the bytes of
// UTF-8 text written to it would be read in that code page (850 or 437 on
// most systems) and come out garbled. Files and pipes get the UTF-8 bytes
// through the C library's text streams, which turn line feeds into CR LF.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <cstdio>
#include <string>
#include <string_view>

#include "console.h"
#include "utf16_windows.h"

namespace brindle {
namespace {

// Bytes converted and written in one go: older consoles refuse a single
// write much above 64 KB. The buffers are on the stack, so that running out
// of memory can still be reported.
constexpr std::size_t kConsolePiece = 4096;

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// The length of the longest start of `text`, at most `limit` bytes, that does
// not end inside a UTF-8 sequence.
std::size_t wholeCharacters(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  // Back off the continuation bytes (10xxxxxx) of a sequence cut in two.
  while (cut > limit - 4 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return cut > 0 ? cut : limit;
}

void writeConsole(HANDLE console, std::string_view text) {
  wchar_t converted[kConsolePiece];
  wchar_t lines[2 * kConsolePiece];  // with a carriage return before each line feed
  while (!text.empty()) {
    const std::size_t taken = wholeCharacters(text, kConsolePiece);
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(taken),
                                          converted, static_cast<int>(kConsolePiece));
    DWORD length = 0;
    for (int i = 0; i < count; ++i) {
      if (converted[i] == L'\n') lines[length++] = L'\r';
      lines[length++] = converted[i];
    }
    const wchar_t* rest = lines;
    while (length > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(console, rest, length, &written, nullptr) || written == 0) return;
      rest += written;
      length -= written;
    }
    text.remove_prefix(taken);
  }
}

}  // namespace

void writeToStandardStream(StandardStream stream, std::string_view text) {
  const bool output = stream == StandardStream::kOutput;
  std::FILE* const file = output ? stdout : stderr;
  std::fflush(file);  // anything the C library still holds goes first
  const HANDLE handle = GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (isConsole(handle)) {
    writeConsole(handle, text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

std::size_t readStandardInput(char* buffer, std::size_t size) {
  // The handle is read directly: the C library's text mode would take the
  // carriage returns out of what arrives.
  DWORD got = 0;
  const DWORD most = size < (DWORD{1} << 30) ? static_cast<DWORD>(size) : (DWORD{1} << 30);
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, most, &got, nullptr)) return 0;
  return got;
}

void writeStandardOutputBytes(std::string_view bytes) {
  std::fflush(stdout);
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD want = bytes.size() < (DWORD{1} << 30) ? static_cast<DWORD>(bytes.size()) : (DWORD{1} << 30);
    if (!WriteFile(handle, bytes.data(), want, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

bool hasConsoleOfItsOwn() {
  DWORD processes[2];
  const DWORD count = GetConsoleProcessList(processes, 2);
  return shouldWaitForEnter(count, isConsole(GetStdHandle(STD_INPUT_HANDLE)),
                            isConsole(GetStdHandle(STD_OUTPUT_HANDLE)));
}

void waitForEnter() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  wchar_t typed[64];
  DWORD got = 0;
  while (ReadConsoleW(input, typed, 64, &got, nullptr) && got > 0) {
    if (std::wstring_view(typed, got).find_first_of(L"\r\n") != std::wstring_view::npos) return;
  }
}

}  // namespace brindle
