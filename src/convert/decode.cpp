#include "decode.h"

#include "utf16.h"

namespace brindle {

namespace {

constexpr char kEndOfFile = '\x1A';  // Ctrl-Z

void dropEndOfFile(std::string_view& text) {
  while (!text.empty() && text.back() == kEndOfFile) text.remove_suffix(1);
}

}  // namespace

std::string_view scriptOfEditorText(std::string_view text) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
  dropEndOfFile(text);
  return text;
}

ScriptText scriptText(std::string_view file, std::string& decoded) {
  constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
  constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
  const bool bigEndian = file.starts_with(kUtf16BigEndianMark);
  if (!bigEndian && !file.starts_with(kUtf16LittleEndianMark)) return {scriptOfEditorText(file), {}};
  file.remove_prefix(2);
  if (file.size() % 2 != 0 && file.back() == kEndOfFile) file.remove_suffix(1);
  const Utf16Decoding decoding = decodeUtf16(file, bigEndian, decoded);
  constexpr const char* kWhatToDo = "; save it as UTF-8 and run again";
  switch (decoding.fault) {
    case Utf16Fault::none:
      break;
    case Utf16Fault::oddLength:
      return {{}, std::string("it is UTF-16 text, but it ends in half a character") + kWhatToDo};
    case Utf16Fault::unpairedSurrogate:
      return {{}, "it is UTF-16 text, but line " + std::to_string(decoding.line) +
                      " holds half of a character (an unpaired surrogate)" + kWhatToDo};
  }
  std::string_view text = decoded;
  dropEndOfFile(text);
  return {text, {}};
}

WholeFile wholeFileOf(std::string_view script) {
  return {looksLikeUtf16(script),
          script.find('\n') == std::string_view::npos && script.find('\r') != std::string_view::npos};
}

void warnOfWholeFile(const WholeFile& file, std::vector<Warning>& warnings) {
  std::vector<Warning> found;
  if (file.looksLikeUtf16) {
    found.push_back({1, "this file looks like UTF-16 text without a byte-order mark, which is "
                        "read here as the bytes it is; save it as UTF-8"});
  }
  if (file.onlyCarriageReturns) {
    found.push_back({1, "the lines of this file end in a carriage return alone, which does not "
                        "end a line here, so the whole file was read as one line; save it with "
                        "Windows (CR LF) or Unix (LF) line ends"});
  }
  warnings.insert(warnings.begin(), found.begin(), found.end());
}

}  // namespace brindle
