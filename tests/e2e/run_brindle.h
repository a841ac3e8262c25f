// Runs the real brindle executable in a folder of its own and captures what
// it prints, for end-to-end tests.
#pragma once

#include <functional>
#include <string>

namespace brindle::test {

struct RunResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error
};

// A fresh, empty folder under the system's temporary folder, removed (with
// everything in it) when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs brindle with `dir` as its working directory. `inChild`, when given,
// runs in the child just before the program starts (to set limits).
RunResult runBrindle(const std::string& dir, const std::function<void()>& inChild = {});

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);
bool exists(const std::string& path);

}  // namespace brindle::test
