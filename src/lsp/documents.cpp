#include "documents.h"

#include <new>
#include <stdexcept>

namespace brindle::lsp {

Documents::Documents(Publish publish) : publish_(std::move(publish)), worker_([this] { work(); }) {}

Documents::~Documents() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
    for (auto& [uri, document] : documents_) document.stop->store(true);
  }
  wanted_.notify_all();
  worker_.join();
}

// A new version of the document: the worker takes it up, and what checks an
// older one stops.
void Documents::update(const std::string& uri, std::shared_ptr<const Story> story) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    Document& document = documents_[uri];
    document.stop->store(true);
    document.stop = std::make_shared<std::atomic<bool>>(false);
    document.story = std::move(story);
    ++document.version;
  }
}

void Documents::release() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [uri, document] : documents_) document.released = document.version;
  }
  wanted_.notify_all();
}

void Documents::open(const std::string& uri, std::string text) {
  std::shared_ptr<const Story> story;
  try {
    story = openStory(std::move(text));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  update(uri, std::move(story));
}

bool Documents::change(const std::string& uri, std::vector<Change> changes) {
  const std::shared_ptr<const Story> story = storyOf(uri);
  if (!story) {
    // A document never read may still be given whole.
    if (changes.empty() || changes.back().range) return false;
    open(uri, std::move(changes.back().text));
    return true;
  }
  std::shared_ptr<const Story> edited;
  try {
    edited = editStory(*story, std::move(changes));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  update(uri, std::move(edited));
  return true;
}

std::shared_ptr<const Story> Documents::storyOf(const std::string& uri) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto document = documents_.find(uri);
  return document == documents_.end() ? nullptr : document->second.story;
}

std::shared_ptr<const StoryReport> Documents::reportOf(const std::string& uri) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto document = documents_.find(uri);
  return document == documents_.end() ? nullptr : document->second.report;
}

// The worker: checks the newest version of each document that has one not
// yet checked.
void Documents::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (ending_) return;
    std::string uri;
    Document* waiting = nullptr;
    for (auto& [name, document] : documents_) {
      if (document.checked < document.released) {
        uri = name;
        waiting = &document;
        break;
      }
    }
    if (!waiting) {
      wanted_.wait(lock);
      continue;
    }
    const std::shared_ptr<const Story> story = waiting->story;
    const std::size_t version = waiting->version;
    const std::shared_ptr<std::atomic<bool>> stop = waiting->stop;
    const std::shared_ptr<StoryChecker> checker = waiting->checker;
    lock.unlock();
    std::shared_ptr<const StoryReport> report;
    try {
      if (story) report = std::make_shared<const StoryReport>(checker->check(story, stop.get()));
    } catch (const check::CheckStopped&) {
    } catch (const std::bad_alloc&) {
    }
    lock.lock();
    const auto document = documents_.find(uri);
    if (document == documents_.end() || document->second.version != version) continue;
    document->second.checked = version;
    if (!report) continue;
    document->second.report = report;
    lock.unlock();
    publish_(uri, *report);
    lock.lock();
  }
}

void Documents::close(const std::string& uri) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto document = documents_.find(uri);
  if (document == documents_.end()) return;
  document->second.stop->store(true);
  documents_.erase(document);
}

}  // namespace brindle::lsp
