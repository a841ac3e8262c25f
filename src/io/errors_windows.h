// The Windows side of a file failure: the system's own text for an error
// code, in UTF-8 whatever the language of the system, the kind of failure
// each code is, and the truer codes for the failures Windows reports only as
// "Access is denied.". Windows only; any thread may call them.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "files.h"

namespace brindle {

// ERROR_DIRECTORY_NOT_SUPPORTED, which older headers lack.
inline constexpr DWORD kDirectoryNotSupported = 336;

// The system's text for an error code, without its trailing line end.
std::string systemMessage(DWORD code);

// The kind of failure an error code is.
FileErrorKind kindOf(DWORD code);

// Puts a failure in `*err` (when there is one) and returns false.
bool fail(FileError* err, const std::string& reason, FileErrorKind kind = FileErrorKind::other);
bool failWith(FileError* err, DWORD code);
bool failLast(FileError* err);

// Opening a folder as a file fails with "Access is denied."; the system has a
// truer code for that case.
DWORD explainOpenFailure(DWORD code, const std::wstring& path);

// Replacing a file fails with "Access is denied." both when the file is
// read-only and when another program holds it open without sharing its
// deletion; the system has truer codes for both.
DWORD explainReplaceFailure(DWORD code, const std::wstring& target);

}  // namespace brindle
