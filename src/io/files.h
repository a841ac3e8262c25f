// The file-system side of a run: reading the script whole and replacing the
// output file so that readers never see a partial or mixed file.
#pragma once

#include <string>
#include <string_view>

namespace brindle {

// Reads the whole file at `path` into `contents`. On failure returns false and
// puts the system's reason (for example "No such file or directory") in `*err`.
bool readWholeFile(const std::string& path, std::string& contents, std::string* err);

// Replaces the file at `path` with `contents`. The text goes to a new,
// uniquely named file beside the target, which is renamed over the target
// only once it is completely written and closed; on any failure the new file
// is removed and the target is left as it was. A symbolic link at `path` is
// followed: the file it designates is replaced and the link stays. A target
// that exists but is not a regular file is refused. On failure returns false
// with the reason in `*err`.
bool replaceFile(const std::string& path, std::string_view contents, std::string* err);

}  // namespace brindle
