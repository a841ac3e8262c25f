#include "parts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "large_buffer.h"
#include "normalise.h"
#include "scan.h"
#include "statements.h"
#include "string_utils.h"
#include "triggers.h"
#include "variables.h"
#include "words.h"

namespace brindle {
namespace {

// Whether `rest`, which starts with a line, starts with one that opens a
// block.
bool opensBlock(std::string_view rest) {
  std::string line;
  Words words;
  normaliseLine(lineAt(rest, 0), kEveryTrigger, line);
  words.reset(line);
  return isLabelStatement(words);
}

// The offset of the first line after `from` that opens a block, or npos.
// Only lines that begin with "label" are looked at; a cut needs no more.
std::size_t nextBlockOpening(std::string_view script, std::size_t from) {
  std::string lineStart(1, '\n');
  lineStart.append(kLabelWord);
  for (std::size_t at = findText(script, lineStart, from); at != std::string_view::npos;
       at = findText(script, lineStart, at + 1)) {
    if (opensBlock(script.substr(at + 1))) return at + 1;
  }
  return std::string_view::npos;
}

std::size_t processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

// Where to cut `script` into at most `parts` parts: the offsets of lines
// that open a block, each near the share of the script its part is given;
// the first is 0. The part before a cut ends with the blocks it opened.
// Each part is given an equal share, but where there are more than two
// parts for each processor, the last part for each processor is given a
// quarter of one: the parts go to the processors as each finishes one, so
// the last ones to be taken end nearly together, where whole parts would
// leave a processor idle for up to one part's time at the end.
std::vector<std::size_t> cutPoints(std::string_view script, std::size_t parts) {
  constexpr std::size_t kQuarters = 4;
  const std::size_t processors = processorCount();
  const std::size_t small = parts > 2 * processors ? processors : 0;
  const std::size_t quarters = (parts - small) * kQuarters + small;
  // The quarters of the script before part `k`.
  const auto before = [&](std::size_t k) {
    return k <= parts - small ? k * kQuarters : (parts - small) * kQuarters + (k - (parts - small));
  };
  std::vector<std::size_t> cuts{0};
  for (std::size_t k = 1; k < parts; ++k) {
    const std::size_t cut =
        nextBlockOpening(script, std::max(script.size() / quarters * before(k), cuts.back()));
    if (cut == std::string_view::npos) break;
    cuts.push_back(cut);
  }
  return cuts;
}

std::size_t chooseParts(std::size_t scriptSize) {
  // A part must be large enough to repay its record and its merge. Parts go
  // to the processors in turn as each finishes one, so several parts for
  // each processor keep them all busy to the end, where one each would
  // leave the others waiting for the slowest; and the smaller the parts,
  // the less of their text is held at once and the more often a part's
  // memory passes to the next. On two processors, parts of 2 MiB convert
  // 20 MB in 0.95 of the time of parts of 4 MiB and 40 MB in 0.91 to 0.95;
  // 100 MB, where the count stops at 32, in the same time, holding 35 MiB
  // at the peak where 23 parts of 4 MiB held 46. Where that makes fewer
  // than four parts for each processor, the parts are of twice the size:
  // at 10 MB four parts take the time of two but hold 28 MiB at the peak
  // where two hold 21 to 23.
  //
  // A script too small for a part of that size on each processor is cut
  // into one part for each processor all the same, of 1 MiB at least: a
  // processor left idle costs more than a smaller part (at 6 MB on two
  // processors, two parts convert in 0.66 of the time of one, and brindle
  // as a whole runs in 0.96 of its time).
  constexpr std::size_t kSmallestPart = std::size_t{2} << 20;
  constexpr std::size_t kFewestSmallPartsPerProcessor = 4;
  constexpr std::size_t kSmallestSharedPart = std::size_t{1} << 20;
  constexpr std::size_t kPartsPerProcessor = 16;
  constexpr std::size_t kMostParts = 32;
  const std::size_t processors = processorCount();
  std::size_t parts = scriptSize / kSmallestPart;
  if (parts < kFewestSmallPartsPerProcessor * processors) parts = scriptSize / (2 * kSmallestPart);
  if (parts < processors) {
    return std::clamp(scriptSize / kSmallestSharedPart, std::max<std::size_t>(parts, 1), processors);
  }
  return std::min(parts, std::min(processors * kPartsPerProcessor, kMostParts));
}

}  // namespace

void joinLabelReferences(LabelReferences& references, const LabelReferences& later,
                         std::size_t lineFeedsBefore) {
  using Defined = LabelReferences::Defined;
  using Redefinition = LabelReferences::Redefinition;
  const auto isDefined = [](const LabelReferences& refs, std::size_t name) {
    return name < refs.defined.size() && refs.defined[name].first != 0;
  };
  const auto definedEntry = [&](std::size_t name) -> Defined& {
    if (references.defined.size() <= name) references.defined.resize(name + 1);
    return references.defined[name];
  };
  // The labels `later` defines: a name defined before is defined again at
  // its first definition there; `later`'s own redefinitions follow it.
  std::vector<Redefinition> again;  // lines and names of `references`
  for (const Redefinition& redefinition : later.redefinitions) {
    again.push_back({redefinition.line + lineFeedsBefore, redefinition.earlier + lineFeedsBefore,
                     addName(references.names, nameAt(later.names, redefinition.name))});
  }
  std::size_t definedBefore = 0;
  for (std::size_t name = 0; name < later.defined.size(); ++name) {
    if (!isDefined(later, name)) continue;
    const std::size_t index = addName(references.names, nameAt(later.names, name));
    Defined& defined = definedEntry(index);
    const Defined& there = later.defined[name];
    if (defined.first == 0) {
      defined.first = there.first + lineFeedsBefore;
    } else {
      again.push_back({there.first + lineFeedsBefore, defined.last, index});
      ++definedBefore;
    }
    defined.last = there.last + lineFeedsBefore;
  }
  std::sort(again.begin(), again.end(),
            [](const Redefinition& a, const Redefinition& b) { return a.line < b.line; });
  const std::size_t count = references.redefinitionCount + later.redefinitionCount + definedBefore;
  for (const Redefinition& redefinition : again) {
    if (references.redefinitionCount++ < references.most) references.redefinitions.push_back(redefinition);
  }
  references.redefinitionCount = count;
  // A jump of `later` to a name now defined is never a problem.
  for (const LabelReferences::Jump& jump : later.jumps) {
    const std::string_view target = nameAt(later.names, jump.name);
    const std::size_t index = findName(references.names, target);
    if (index == kNoName || !isDefined(references, index)) {
      references.jumps.push_back({jump.line + lineFeedsBefore, addName(references.names, target)});
    }
  }
}

namespace {

// A part, converted into a record of its own. Whoever converts it keeps
// the promise; `done` tells the merge that the record is complete, or
// hands it what the conversion threw.
struct Part {
  Part(std::string_view text, const ConvertOptions& options, std::string& console)
      : text(text), record(options, console), done(converted.get_future()) {}

  std::string_view text;
  StretchRecord record;
  std::size_t released = 0;  // the bytes of `text` told to the release so far
  std::promise<void> converted;
  std::future<void> done;
};

// Tells `release` of the part's bytes read so far, once more have been read.
void releaseRead(Part& part, const InputRelease& release, std::size_t read) {
  if (!release || read <= part.released) return;
  release(part.text.substr(0, read));
  part.released = read;
}

// Converts `part`, calling `meanwhile`, where there is one, at each piece
// of its text.
void convertPart(Part& part, const ConvertOptions& options, const InputRelease& release,
                 const InputPrepare& prepare, std::size_t room, const std::function<void()>& meanwhile) {
  part.record.tables.reserve(room);
  if (prepare) prepare(part.text);
  if (release || meanwhile) {
    convertStretch(part.text, options, part.record, [&] {
      releaseRead(part, release, part.record.read);
      if (meanwhile) meanwhile();
    });
  } else {
    convertStretch(part.text, options, part.record);
  }
  releaseRead(part, release, part.text.size());
}

// The parts after the first, handed out in order to whoever asks first:
// the threads started for them and, while it waits for one to merge, the
// merge itself. Each is converted exactly once, its text written into the
// room of a part already handed on where there is one, else into `room`
// bytes of fresh memory. Destroyed, it stops handing out parts and waits for
// the threads.
class PartQueue {
 public:
  PartQueue(std::vector<std::unique_ptr<Part>>& parts, const ConvertOptions& options,
            const InputRelease& release, const InputPrepare& prepare, std::size_t room)
      : parts_(parts), options_(options), prepare_(prepare), room_(room) {
    if (release) {
      release_ = [this, &release](std::string_view read) {
        if (releasing_.load(std::memory_order_acquire)) release(read);
      };
    }
  }
  PartQueue(const PartQueue&) = delete;
  PartQueue& operator=(const PartQueue&) = delete;
  ~PartQueue() {
    next_ = parts_.size();
    for (std::thread& thread : threads_) thread.join();
  }

  // Starts up to `count` threads that convert parts until none is left;
  // fewer where no more threads are to be had.
  void startThreads(std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
      try {
        threads_.emplace_back([this] {
          while (convertNext()) {
          }
        });
      } catch (const std::system_error&) {
        return;
      }
    }
  }

  // Converts the next part no one has taken, calling `meanwhile` at each
  // piece of its text; false when none is left.
  bool convertNext(const std::function<void()>& meanwhile = {}) {
    const std::size_t k = next_.fetch_add(1);
    if (k >= parts_.size()) return false;
    Part& part = *parts_[k];
    try {
      part.record.tables.takeRoom(spareRoom());
      convertPart(part, options_, release_, prepare_, room_, meanwhile);
      part.converted.set_value();
    } catch (...) {
      part.converted.set_exception(std::current_exception());
    }
    return true;
  }

  // Lets the parts' memory go from now on. Until then what they read is
  // kept, for whatever reads across the whole script; a part converted
  // before has its memory let go when it is merged.
  void startReleasing() { releasing_.store(true, std::memory_order_release); }

  // Whether part `k` is converted (or its conversion failed).
  bool converted(std::size_t k) const {
    return parts_[k]->done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }
  void wait(std::size_t k) const { parts_[k]->done.wait(); }
  // Throws what the conversion of part `k`, once converted, threw; once.
  void check(std::size_t k) { parts_[k]->done.get(); }

  // Keeps the room of `tables`, whose text is handed on, for a part not yet
  // begun, if one is left without.
  void passOnRoom(TableWriter& tables) {
    const std::size_t next = next_.load();
    const std::lock_guard<std::mutex> lock(roomsMutex_);
    if (next < parts_.size() && rooms_.size() < parts_.size() - next) {
      rooms_.push_back(tables.giveUpRoom());
    }
  }
  // Lets a part go once its text is handed on, its room passed on.
  void retire(std::unique_ptr<Part>& part) {
    passOnRoom(part->record.tables);
    part.reset();
  }

 private:
  TextBuffer::Room spareRoom() {
    const std::lock_guard<std::mutex> lock(roomsMutex_);
    if (rooms_.empty()) return {};
    TextBuffer::Room room = std::move(rooms_.back());
    rooms_.pop_back();
    return room;
  }

  std::vector<std::unique_ptr<Part>>& parts_;
  const ConvertOptions& options_;
  InputRelease release_;
  std::atomic<bool> releasing_{false};
  const InputPrepare& prepare_;
  std::size_t room_;
  std::atomic<std::size_t> next_{1};
  std::vector<std::thread> threads_;
  std::mutex roomsMutex_;
  std::vector<TextBuffer::Room> rooms_;
};

}  // namespace

bool convertInParts(std::string_view script, Conversion& result, const LuaSink& sink,
                    const ConvertOptions& options, std::size_t parts, const InputRelease& release,
                    const LuaRestart& restart, const InputPrepare& prepare) {
  const std::size_t mostItems = std::max<std::size_t>(options.mostItemsPerFunction, 2);
  result = Conversion();
  // What is read of the whole script is read before any of it is let go.
  const WholeFile file = wholeFileOf(script);
  const std::vector<std::size_t> cuts = cutPoints(script, parts != 0 ? parts : chooseParts(script.size()));
  // The first part announces into the result itself, so that what it
  // announced is there if memory runs out; the others into texts of their
  // own, joined in order.
  std::vector<std::string> consoles(cuts.size() - 1);
  std::vector<std::unique_ptr<Part>> all;
  std::size_t largest = 0;
  for (std::size_t k = 0; k < cuts.size(); ++k) {
    const std::size_t end = k + 1 < cuts.size() ? cuts[k + 1] : script.size();
    all.push_back(std::make_unique<Part>(script.substr(cuts[k], end - cuts[k]), options,
                                         k == 0 ? result.console : consoles[k - 1]));
    if (k > 0) largest = std::max(largest, end - cuts[k]);
  }
  // The parts after the first are converted on threads, one for each
  // processor but this one; where no thread is to be had, here in turn.
  // Each has the room the largest needs, so that any can take over the
  // room of one handed on.
  PartQueue queue(all, options, release, prepare, outputReserve(largest));
  queue.startThreads(std::min(all.size(), processorCount()) - 1);
  // Meanwhile, here, the script's lines are counted and its last "$" found,
  // across the parts, before their memory may go: every variable is set on
  // a line at or before it, so the declarations are known once the walk has
  // read that far. Lines are counted once the first part's pages are
  // mapped, which its conversion asks for here in any case.
  Part& first = *all.front();
  if (prepare) prepare(first.text);
  const std::size_t linesCounted = linesUpTo(script, mostItems + 1);
  static_assert(kDollar.size() == 1);
  const std::size_t lastDollar = findLastByte(script, kDollar[0]);
  queue.startReleasing();
  // The first part's record gathers what all of them say, part by part; its
  // room, once its text is handed on, may pass to another part.
  StretchRecord& merged = first.record;
  if (sink) {
    merged.tables.reserve(outputReserve(std::max(first.text.size(), largest)));
  } else {
    reserveLargeBuffer(result.lua, outputReserve(script.size()));
  }

  LuaWriter lua(result.lua, sink, mostItems, options.pieceSize);
  std::size_t merging = 0;     // the parts merged so far, the first included once walked
  std::size_t handed = 0;      // the parts handed on
  std::size_t tableItems = 0;  // the items of their tables
  std::size_t read = 0;        // the bytes of the parts merged
  // A sink that can start over lets the text begin, once a part is merged,
  // with the variables known so far, which the parts to come seldom add
  // to: the parts are then handed on as they are merged.
  //
  // In the grouped layout, whose tables are written the same whatever the
  // declarations, they are let go as well. Where a part adds a variable,
  // the beginning alone is written again, with the variables known then, in
  // place of the one written; the sink moves what followed it, so the next
  // part to add one holds back the parts merged from there on until the
  // declarations are sure, when the beginning is written again once more,
  // before them. A flat text may turn grouped, so the parts handed on are
  // kept: where a later part adds a variable the text starts over, once the
  // declarations are sure, as it would have begun without the guess; where
  // every line that may set one is read and none did, the guess holds and
  // they are let go. A guess is made once: a script that adds variables
  // throughout costs no more than two more writings of its beginning and
  // one moving of the text written by the second part to add one, or one
  // more writing of its parts.
  const bool mayGuess = sink && restart && all.size() > 1;
  bool guessing = false;                // begun on a guess not yet proved
  bool guessed = false;                 // a guess was made
  bool keeping = false;                 // the parts handed on on the guess are kept
  bool redeclared = false;              // the beginning was written again
  bool holding = false;                 // the parts merged are held back
  std::size_t guessedDeclarations = 0;  // the variables the beginning declares
  const auto declarationsSure = [&](std::size_t readTo) {
    return lastDollar == std::string_view::npos || readTo > lastDollar;
  };
  // Begins the text, once the declarations are known (or may be guessed),
  // and the layout too: grouped once the items pass the limit, flat where
  // every line left could be an item and still not pass it, or whichever
  // they give once every part is walked.
  const auto beginIfKnown = [&](std::size_t readTo, std::size_t items, bool walkedAll, bool guess) {
    if (lua.begun()) return;
    const bool sure = declarationsSure(readTo);
    if (!sure && !(guess && mayGuess && !guessed)) return;
    const std::size_t declarations = nameCount(merged.variables);
    Layout layout = chooseLayout(declarations + items, mostItems);
    if (!walkedAll && layout == Layout::flat && !surelyFlat(linesCounted, declarations, mostItems)) return;
    lua.begin(layout, merged.variables);
    if (sure) return;
    guessing = guessed = true;
    keeping = layout == Layout::flat;
    guessedDeclarations = declarations;
  };
  // Proves or disproves the guess once a part is merged.
  const auto checkGuess = [&] {
    if (!guessing) return;
    const bool added = nameCount(merged.variables) != guessedDeclarations;
    if (!keeping) {
      const bool sure = declarationsSure(read);
      if (added && (sure || !redeclared)) {
        lua.redeclare(merged.variables, restart);
        redeclared = true;
        guessedDeclarations = nameCount(merged.variables);
      } else if (added) {
        holding = true;
      }
      if (sure) guessing = holding = false;
    } else if (added) {
      guessing = false;
      lua.startOver(restart);
      handed = 0;
    } else if (declarationsSure(read)) {
      guessing = false;
      merged.tables.drop(merged.tables.text().size());
      queue.passOnRoom(merged.tables);
      for (std::size_t k = 1; k < handed; ++k) queue.retire(all[k]);
    }
  };
  // Hands on the parts merged so far, in order, and lets each go but the
  // first, whose record holds what was merged; while guessing in the flat
  // layout, keeps them; while holding back, waits.
  const auto handOnMerged = [&] {
    if (!lua.begun() || holding) return;
    for (; handed < merging; ++handed) {
      if (guessing && keeping) {
        lua.takeKeeping(all[handed]->record.tables);
        continue;
      }
      lua.take(all[handed]->record.tables);
      if (handed > 0) {
        queue.retire(all[handed]);
      } else {
        queue.passOnRoom(merged.tables);
      }
    }
  };
  convertStretch(first.text, options, merged, [&] {
    beginIfKnown(merged.read, merged.tables.items(), false, false);
    if (lua.begun()) lua.take(merged.tables);
    releaseRead(first, release, merged.read);
  });
  releaseRead(first, release, first.text.size());
  merging = 1;
  tableItems = merged.tables.items();
  std::size_t lineFeedsBefore = merged.lines - 1;
  read = first.text.size();
  result.warnings = std::move(merged.warnings);
  beginIfKnown(read, tableItems, all.size() == 1, true);
  handOnMerged();

  // Merges the next part, once converted.
  const auto mergeNext = [&] {
    const std::size_t k = merging;
    queue.check(k);
    Part& part = *all[k];
    StretchRecord& record = part.record;
    // The part's own hash table goes before the merged one grows, once, to
    // hold both parts' names: a script of millions of variables holds no
    // more than one table at a time.
    keepNamesOnly(record.variables);
    reserveNames(merged.variables, nameCount(merged.variables) + nameCount(record.variables));
    for (std::size_t v = 0; v < nameCount(record.variables); ++v) {
      addVariable(merged.variables, nameAt(record.variables, v));
    }
    joinLabelReferences(merged.labels, record.labels, lineFeedsBefore);
    for (const Warning& warning : record.warnings) {
      result.warnings.push_back({warning.line + lineFeedsBefore, warning.message, warning.kind});
    }
    result.console.append(consoles[k - 1]);
    merged.textChanges += record.textChanges;
    lineFeedsBefore += record.lines - 1;
    read += part.text.size();
    if (release) release(script.substr(0, read));
    tableItems += record.tables.items();
    merging = k + 1;
    checkGuess();
    beginIfKnown(read, tableItems, k + 1 == all.size(), true);
    handOnMerged();
  };
  // The parts are merged in order as they are converted, also while this
  // thread converts one of its own: at each piece of its text, the parts
  // converted elsewhere meanwhile are merged and written, their memory
  // passed on, instead of waiting for it to end. What merging throws there
  // is thrown once this thread's own part is converted.
  std::exception_ptr mergeFailed;
  const auto mergeConverted = [&] {
    while (merging < all.size() && queue.converted(merging)) mergeNext();
  };
  const std::function<void()> meanwhile = [&] {
    if (mergeFailed) return;
    try {
      mergeConverted();
    } catch (...) {
      mergeFailed = std::current_exception();
    }
  };
  for (mergeConverted(); merging < all.size(); mergeConverted()) {
    if (!queue.convertNext(meanwhile)) queue.wait(merging);
    if (mergeFailed) std::rethrow_exception(mergeFailed);
  }
  lua.finish();
  result.textChanges = merged.textChanges;
  finishWarnings(file, merged.labels, result.warnings);
  return lua.accepted();
}

}  // namespace brindle
