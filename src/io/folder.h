// The current folder and the names in it, for messages that tell the user
// where Brindle looked and what it found there instead. Portable: the
// standard library's file system functions, on every platform.
#pragma once

#include <string>
#include <string_view>

#include "files.h"

namespace brindle {

// The full path of the current folder, in UTF-8; empty when the system
// cannot tell.
std::string currentFolder();

// The name of a file in the current folder that is probably the file named
// `wanted` (for example "test.py") saved under another name, in this order
// of preference: `wanted` in other letter case ("Test.py"); `wanted` with a
// further ending ("test.py.txt", as Windows hides known endings); its stem
// alone or with ".txt" ("test", "test.txt"). Letter case is ignored
// throughout. Empty when there is none or the folder cannot be listed. Reads
// the folder (the current one unless another is named) once, not the
// folders in it.
std::string nearMissOf(std::string_view wanted, const std::string& folder = ".");

// The folder named in messages: its full path, or failing that "the current
// folder".
std::string folderName();

// Why the script file `path` could not be read, in words that say what to
// do about it: where a missing file was looked for (its folder, in full) and
// which near miss is there, or that it is a folder; otherwise the system's
// reason.
std::string readProblem(const FileError& error, std::string_view path);

}  // namespace brindle
