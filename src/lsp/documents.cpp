#include "documents.h"

#include <future>
#include <system_error>

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

// The document, if its newest version is still `version`.
Documents::Document* Documents::current(const std::string& uri, std::size_t version) {
  const auto document = documents_.find(uri);
  return document != documents_.end() && document->second.version == version ? &document->second : nullptr;
}

// What the worker made of the document's newest text, once it has.
template <typename Made>
Made Documents::madeOf(const std::string& uri, Made Document::*made, std::size_t Document::*version) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto document = documents_.find(uri);
    if (document == documents_.end()) return nullptr;
    if (document->second.*version == document->second.version) return document->second.*made;
    made_.wait(lock);
  }
}

// Records what was made for `version` of the document, if that is still
// its newest, and tells the requests that wait.
template <typename Record>
void Documents::made(const std::string& uri, std::size_t version, const Record& record) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (Document* document = current(uri, version)) record(*document);
  }
  made_.notify_all();
}

// A new text for the document: the worker takes it up, and what checks
// an older one stops.
void Documents::update(const std::string& uri, std::shared_ptr<const std::string> text) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    Document& document = documents_[uri];
    document.stop->store(true);
    document.stop = std::make_shared<std::atomic<bool>>(false);
    document.text = std::move(text);
    ++document.version;
    // What was made of the older text goes as soon as nothing uses it.
    document.analysis.reset();
    document.view.reset();
  }
  wanted_.notify_all();
}

std::shared_ptr<const std::string> Documents::textOf(const std::string& uri) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto document = documents_.find(uri);
  return document == documents_.end() ? nullptr : document->second.text;
}

std::shared_ptr<const Analysis> Documents::analysisOf(const std::string& uri) {
  return madeOf(uri, &Document::analysis, &Document::analysed);
}
std::shared_ptr<const LuaView> Documents::viewOf(const std::string& uri) {
  return madeOf(uri, &Document::view, &Document::viewed);
}

std::shared_ptr<const check::CheckReport> Documents::reportOf(const std::string& uri) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto document = documents_.find(uri);
  return document == documents_.end() ? nullptr : document->second.report;
}

// The worker: analyses and checks the newest text of each document that
// has one not yet checked.
void Documents::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::string uri;
    Document* waiting = nullptr;
    for (auto& [name, document] : documents_) {
      if (document.checked != document.version) {
        uri = name;
        waiting = &document;
        break;
      }
    }
    if (ending_) return;
    if (!waiting) {
      wanted_.wait(lock);
      continue;
    }
    const std::shared_ptr<const std::string> text = waiting->text;
    const std::size_t version = waiting->version;
    const std::shared_ptr<std::atomic<bool>> stop = waiting->stop;
    lock.unlock();
    // The analysis first, which most requests wait for; then the check,
    // beside the Lua view, which a hover waits for.
    std::shared_ptr<const Analysis> analysis;
    std::shared_ptr<const LuaView> view;
    std::shared_ptr<const check::CheckReport> report;
    try {
      analysis = analyze(text);
    } catch (const std::bad_alloc&) {
      // Requests get null for this version.
    }
    made(uri, version, [&](Document& document) {
      document.analysis = analysis;
      document.analysed = version;
    });
    std::future<check::CheckReport> checking;
    if (analysis) {
      try {
        checking = std::async(std::launch::async,
                              [analysis, stop] { return check::checkScript(analysis->script, {}, stop.get()); });
      } catch (const std::system_error&) {
        // No thread to be had: the check runs after the view.
      }
      try {
        view = viewLua(*analysis);
      } catch (const std::bad_alloc&) {
      }
    }
    made(uri, version, [&](Document& document) {
      document.view = view;
      document.viewed = version;
    });
    try {
      if (checking.valid()) {
        report = std::make_shared<const check::CheckReport>(checking.get());
      } else if (analysis) {
        report = std::make_shared<const check::CheckReport>(check::checkScript(analysis->script, {}, stop.get()));
      }
    } catch (const check::CheckStopped&) {
    } catch (const std::bad_alloc&) {
    }
    lock.lock();
    Document* document = current(uri, version);
    if (!document) continue;
    document->checked = version;
    if (!report) continue;
    document->report = report;
    lock.unlock();
    publish_(uri, *analysis, *report);
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
