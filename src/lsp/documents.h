// The documents an editor has open, and the worker that makes, for the
// newest text of each, its analysis, then its check beside its Lua view.
// A newer text stops the check of an older one, so that a burst of changes
// is answered once, for the last. Requests wait for what they need of the
// newest text; the findings go to `publish`, on the worker's thread. Any
// thread may call the members.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "analysis.h"
#include "check.h"

namespace brindle::lsp {

class Documents {
 public:
  using Publish = std::function<void(const std::string& uri, const Analysis&, const check::CheckReport&)>;

  explicit Documents(Publish publish);
  ~Documents();
  Documents(const Documents&) = delete;
  Documents& operator=(const Documents&) = delete;

  // A new text for the document, opened or changed.
  void update(const std::string& uri, std::shared_ptr<const std::string> text);
  void close(const std::string& uri);
  // The newest text; null for a document not open.
  std::shared_ptr<const std::string> textOf(const std::string& uri);
  // What was made of the newest text, once it is (null where it could not
  // be made, or the document is not open).
  std::shared_ptr<const Analysis> analysisOf(const std::string& uri);
  std::shared_ptr<const LuaView> viewOf(const std::string& uri);
  // The newest check there is, of this text or an older one.
  std::shared_ptr<const check::CheckReport> reportOf(const std::string& uri);

 private:
  // One open document: its text as the editor has it, and what was made of
  // its versions.
  struct Document {
    std::shared_ptr<const std::string> text;
    std::size_t version = 0;  // counts the changes, from 1
    std::shared_ptr<const Analysis> analysis;
    std::size_t analysed = 0;  // the version `analysis` is of
    std::shared_ptr<const LuaView> view;
    std::size_t viewed = 0;
    std::shared_ptr<const check::CheckReport> report;
    std::size_t checked = 0;
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
  };

  void work();
  template <typename Made>
  Made madeOf(const std::string& uri, Made Document::*made, std::size_t Document::*version);
  template <typename Record>
  void made(const std::string& uri, std::size_t version, const Record& record);
  Document* current(const std::string& uri, std::size_t version);

  Publish publish_;
  std::mutex mutex_;                // the documents
  std::condition_variable wanted_;  // a document has a text to check, or the server ends
  std::condition_variable made_;    // something was made of a text
  std::map<std::string, Document> documents_;
  bool ending_ = false;
  std::thread worker_;  // last: it starts once the rest is made
};

}  // namespace brindle::lsp
