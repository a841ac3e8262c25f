// The documents an editor has open. Each open or change makes the
// document's next version at once, on the thread that tells it: a Story,
// which walks again only the pieces a change touches. Once the changes that
// have come are all told (release()), a worker checks the newest version of
// each document, taking the findings of the pieces it checked for an older
// one as they were, and hands them to `publish`, on its own thread. A newer
// version stops the check of an older one, so that a burst of changes is
// checked once, for the last. Any thread may call the members; one thread
// at a time may tell the changes of a document.
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
#include <vector>

#include "story.h"
#include "story_check.h"

namespace brindle::lsp {

class Documents {
 public:
  using Publish = std::function<void(const std::string& uri, const StoryReport&)>;

  explicit Documents(Publish publish);
  ~Documents();
  Documents(const Documents&) = delete;
  Documents& operator=(const Documents&) = delete;

  // A document opened, with its whole text.
  void open(const std::string& uri, std::string text);
  // Changes to an open document, in order; false for one not open.
  bool change(const std::string& uri, std::vector<Change> changes);
  void close(const std::string& uri);
  // The versions made so far may be checked: no change that has come waits
  // to be told.
  void release();
  // The newest version of the document; null for one not open, or whose
  // text could not be read (a story too large for memory).
  std::shared_ptr<const Story> storyOf(const std::string& uri);
  // The newest check there is, of this version or an older one.
  std::shared_ptr<const StoryReport> reportOf(const std::string& uri);

 private:
  struct Document {
    std::shared_ptr<const Story> story;
    std::size_t version = 0;   // counts the versions, from 1
    std::size_t released = 0;  // the version the worker may check
    std::size_t checked = 0;   // the version checked last
    std::shared_ptr<const StoryReport> report;
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<StoryChecker> checker = std::make_shared<StoryChecker>();  // the worker's alone
  };

  void update(const std::string& uri, std::shared_ptr<const Story> story);
  void work();

  Publish publish_;
  std::mutex mutex_;                // the documents
  std::condition_variable wanted_;  // a document has a version to check, or the server ends
  std::map<std::string, Document> documents_;
  bool ending_ = false;
  std::thread worker_;  // last: it starts once the rest is made
};

}  // namespace brindle::lsp
