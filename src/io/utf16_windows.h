// UTF-16 text of the wide-character Windows API turned into UTF-8, the text
// Brindle carries. Windows only.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

namespace brindle {

// `wide` in UTF-8; a lone surrogate becomes U+FFFD.
inline std::string toUtf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX / 3) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace brindle
