#include "e2e/run_brindle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brindle::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "brindle-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders a test made read-only must become writable again to be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) chmod(it->path().c_str(), 0755);
  }
  chmod(path_.c_str(), 0755);
  std::filesystem::remove_all(path_, ignored);
}

RunResult runBrindle(const std::string& dir, const std::function<void()>& inChild,
                     const std::vector<std::string>& args) {
  return runProgram(BRINDLE_EXECUTABLE, dir, inChild, args);
}

RunResult runProgram(const char* program, const std::string& dir, const std::function<void()>& inChild,
                     const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string outPath = dir + "/../" + std::filesystem::path(dir).filename().string() + ".out";
  const std::string errPath = outPath + ".err";
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0) {
      _exit(127);
    }
    if (inChild) inChild();
    execv(program, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void appendTableInPieces(std::string& out, const std::string& name, std::size_t count,
                         const std::function<std::string(std::size_t)>& entry) {
  out += "\n\n(function() LABELS[\"" + name + "\"] = {";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && i % kEntriesPerPiece == 0) {
      out += " };";
      if (i > kEntriesPerPiece) out += kAppendPiece;
      out += " end)(); (function() do local t, p = LABELS[\"" + name + "\"], {";
    } else if (i > 0) {
      out += ",";
    }
    out += "\n\tfunction() " + entry(i) + "; end";
  }
  out += "\n};" + kAppendPiece + " end)();";
}

std::string groupedDeclarations(const std::vector<std::string>& names) {
  constexpr std::size_t kPerGroup = 60000;
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i % kPerGroup == 0) out += "(function() ";
    out += names[i] + " = 0;";
    if (i % kPerGroup == kPerGroup - 1 || i + 1 == names.size()) out += " end)();";
    out += "\n";
  }
  return out;
}

}  // namespace brindle::test
