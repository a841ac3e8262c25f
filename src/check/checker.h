// What of a script's Lua text Lua's own parser refuses, and which script
// line the author must change. The text arrives in pieces as the writer
// hands it on, with the line map the writer keeps; each declaration, label
// key and entry is given to the parser in its real context, many at once,
// and one alone where Lua refuses them, so that the item to blame is found
// and the rest still looked at. Within a chain, the parse goes on after
// each broken line, so that every broken line is reported. Only the items
// not yet looked at are kept. The text is cut into segments at items, each
// checked with a lua_State of its own, on threads beside the one that hands
// the text on where there are processors for them; how it is cut changes
// no finding. A Checker is used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hints.h"
#include "line_map.h"

namespace brindle::check {

enum class FindingKind {
  luaSyntax,             // a label key or entry Lua's parser refuses
  unassignableVariable,  // a `$` name whose declaration `NAME = 0;` Lua refuses
  undefinedJumpTarget,   // a jump_out to a label the script does not define
  duplicateLabel,        // a label defined again; its table replaces the earlier
};

struct Finding {
  std::size_t line = 0;  // of the script, from 1
  FindingKind kind = FindingKind::luaSyntax;
  std::string message;      // what is wrong, Lua's words where Lua found it
  std::vector<Hint> hints;  // the fix, where the mistake is a common one
};

// How many items go to Lua at once. After an error a batch starts small and
// doubles with each batch Lua takes, so that where errors come thick (a
// string left open in every line runs to the end of its batch) each costs
// little, and where they are rare the batches are long.
// The text is checked in segments of about `segmentBytes`, on `threads`
// threads (0: as many as there are processors).
struct Batches {
  std::size_t firstItems = 16;
  std::size_t mostItems = 4096;
  std::size_t bytes = std::size_t{1} << 18;
  std::size_t segmentBytes = std::size_t{1} << 20;
  std::size_t threads = 0;
};

class Checker {
 public:
  // `lines` is the map the writer fills (the checker lets its first lines
  // go), `script` the script, whose lines the hints read.
  Checker(LineMap& lines, std::string_view script, const Batches& batches,
          std::vector<Finding>& findings);
  ~Checker();
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  // The next piece of the Lua text. Throws std::bad_alloc when memory runs
  // out.
  void take(std::string_view piece);
  // Looks at what is left: the text is complete.
  void finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brindle::check
