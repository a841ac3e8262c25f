#include "folder.h"

#include <filesystem>
#include <system_error>

namespace brindle {
namespace {

std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// A path from UTF-8 text, whatever the system's own encoding.
std::filesystem::path pathOf(std::string_view utf8) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// How close `name` comes to `wanted`: 0 for no near miss, otherwise the
// smaller the closer.
int closeness(std::string_view name, std::string_view wanted) {
  if (name == wanted) return 0;
  if (sameLetters(name, wanted)) return 1;
  if (name.size() > wanted.size() + 1 && sameLetters(name.substr(0, wanted.size()), wanted) &&
      name[wanted.size()] == '.') {
    return 2;
  }
  const std::string_view stem = wanted.substr(0, wanted.rfind('.'));
  if (sameLetters(name, stem) || (name.size() == stem.size() + 4 &&
                                  sameLetters(name.substr(0, stem.size()), stem) &&
                                  sameLetters(name.substr(stem.size()), ".txt"))) {
    return 3;
  }
  return 0;
}

}  // namespace

std::string currentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string() : utf8Of(folder);
}

std::string nearMissOf(std::string_view wanted, const std::string& folder) {
  std::error_code error;
  std::string best;
  int bestCloseness = 0;
  for (std::filesystem::directory_iterator it(pathOf(folder), error), end;
       !error && it != end;
       it.increment(error)) {
    std::error_code unknown;  // a name whose kind cannot be told is still a name
    if (it->is_directory(unknown)) continue;
    const std::string name = utf8Of(it->path().filename());
    const int found = closeness(name, wanted);
    if (found != 0 && (bestCloseness == 0 || found < bestCloseness ||
                       (found == bestCloseness && name < best))) {
      best = name;
      bestCloseness = found;
    }
  }
  return best;
}

std::string folderName() {
  const std::string folder = currentFolder();
  return folder.empty() ? std::string("the current folder") : folder;
}

std::string readProblem(const FileError& error, std::string_view path) {
  switch (error.kind) {
    case FileErrorKind::missing: {
      // The file's own name, looked for in its folder.
      const std::filesystem::path file = pathOf(path);
      const std::string name = utf8Of(file.filename());
      const std::string parent = utf8Of(file.parent_path());
      std::string where = folderName();
      if (!parent.empty()) {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(file.parent_path(), error);
        where = error ? parent : utf8Of(full.lexically_normal());
        if (where.size() > 1 && (where.back() == '/' || where.back() == '\\')) where.pop_back();
      }
      std::string problem = "there is no " + name + " in " + where;
      const std::string nearMiss = nearMissOf(name, parent.empty() ? "." : parent);
      if (nearMiss.empty()) return problem;
      problem += ", but there is " + nearMiss;
      // Windows hides known endings: "test.py.txt" shows as "test.py".
      const std::size_t ending = nearMiss.rfind('.');
      if (ending != std::string::npos && nearMiss.size() != name.size()) {
        problem += " (its ending " + nearMiss.substr(ending) + " may be hidden)";
      }
      return problem + "; rename it to " + name;
    }
    case FileErrorKind::folder:
      return "it is a folder, not a file";
    default:
      return error.reason;
  }
}

}  // namespace brindle
