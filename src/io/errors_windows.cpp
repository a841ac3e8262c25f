#include "errors_windows.h"

#include <memory>
#include <string_view>

#include "handle_windows.h"
#include "utf16_windows.h"

namespace brindle {
namespace {

// The text that Windows gives for ERROR_DIRECTORY_NOT_SUPPORTED, for
// systems whose message table has none.
constexpr const char* kDirectoryNotSupportedText = "An operation is not supported on a directory.";

// The system's message table entry for an error code in UTF-8, without its
// trailing line end; empty when the table has none. It is fetched as UTF-16:
// the narrow form would be in the ANSI code page, which the console (using
// the OEM code page) and UTF-8 files would both show garbled.
std::string lookUpMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  if (length == 0 || text == nullptr) return std::string();
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
  std::string message = toUtf8(std::wstring_view(text, length));
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

bool isDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string systemMessage(DWORD code) {
  std::string message = lookUpMessage(code);
  if (!message.empty()) return message;
  if (code == kDirectoryNotSupported) return kDirectoryNotSupportedText;
  return "system error " + std::to_string(code);
}

FileErrorKind kindOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileErrorKind::missing;
    case kDirectoryNotSupported:
      return FileErrorKind::folder;
    case ERROR_FILE_READ_ONLY:
      return FileErrorKind::readOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FileErrorKind::inUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileErrorKind::denied;
    default:
      return FileErrorKind::other;
  }
}

bool fail(FileError* err, const std::string& reason, FileErrorKind kind) {
  if (err) *err = {kind, reason};
  return false;
}

bool failWith(FileError* err, DWORD code) { return fail(err, systemMessage(code), kindOf(code)); }

bool failLast(FileError* err) { return failWith(err, GetLastError()); }

DWORD explainOpenFailure(DWORD code, const std::wstring& path) {
  if (code == ERROR_ACCESS_DENIED && isDirectory(path)) return kDirectoryNotSupported;
  return code;
}

DWORD explainReplaceFailure(DWORD code, const std::wstring& target) {
  if (code != ERROR_ACCESS_DENIED) return code;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return ERROR_FILE_READ_ONLY;
  }
  const Handle probe(CreateFileW(target.c_str(), DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe && GetLastError() == ERROR_SHARING_VIOLATION) return ERROR_SHARING_VIOLATION;
  return code;
}

}  // namespace brindle
