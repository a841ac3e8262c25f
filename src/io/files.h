// The file-system side of a run: reading the script whole and replacing the
// output file so that readers never see a partial or mixed file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brindle {

// Reads the whole file at `path` into `contents`. On failure returns false and
// puts the system's reason (for example "No such file or directory") in `*err`.
bool readWholeFile(const std::string& path, std::string& contents, std::string* err);

// Takes the new contents of a file piece by piece, in order. Returns false
// once writing has failed; later pieces are then dropped.
using ContentWriter = std::function<bool(std::string_view)>;

// Replaces the file at `path` with what `produce` hands to the writer it is
// given. The text goes to a new, uniquely named file beside the target,
// which is renamed over the target only once it is completely written and
// closed; on any failure the new file is removed and the target is left as
// it was. `produce` runs only once that new file exists; when it throws, the
// new file is removed and the exception goes on. A symbolic link at `path`
// is followed: the file it designates is replaced and the link stays. A
// target that exists but is not a regular file is refused. On failure
// returns false with the reason in `*err`.
bool replaceFile(const std::string& path, const std::function<void(const ContentWriter&)>& produce,
                 std::string* err);

}  // namespace brindle
