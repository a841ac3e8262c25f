// A Lua 5.1 state that runs untrusted story code and an integrator's
// engine: only the base, string, table and math libraries, without what
// reaches files, the system or Lua's own loader and debugger (using one
// stops the run and names it), a memory limit (a counting allocator) and
// instruction limits per entry and in all (a count hook). Globals the story
// calls and nobody defined are stand-ins that record what was called;
// jump_out and path_end are the sandbox's own and only record. Every call
// the story makes is an event, in order, with the story chunk's line. Once
// a limit is hit or a refused name used, the run is stopped for good: no
// pcall of the story's can catch it. With lua_parser.cpp the only code of
// the checker that sees Lua's API. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct lua_State;

namespace brindle::check {

// A Lua value as the play reads and sets it.
struct PlayValue {
  enum class Kind : std::uint8_t { nil, number, boolean, string, other };
  Kind kind = Kind::nil;
  double number = 0;
  bool boolean = false;
  std::string text;  // a string's bytes; for `other`, Lua's name of its type
};

struct SandboxLimits {
  std::size_t memory = std::size_t{64} << 20;  // bytes of Lua's heap and of the events
  std::uint64_t entryInstructions = 10'000'000;
  std::uint64_t totalInstructions = 100'000'000;
};

// What the story did while an entry ran.
struct SandboxEvent {
  enum class Kind : std::uint8_t { dialogue, call, jump, pathEnd };
  Kind kind = Kind::call;
  std::size_t luaLine = 0;  // of the story chunk; 0 when no story code made the call
  std::string name;         // the speaker, or the function called; for a jump its target
  std::string text;         // the dialogue's line, or the call as Lua literals: name(args)
};

// How a run of Lua code ended.
struct SandboxRun {
  bool ok = true;
  bool stopped = false;     // by a limit or a refused name: the sandbox runs nothing more
  std::string message;      // Lua's message, without the story chunk's position
  std::size_t luaLine = 0;  // the story chunk's line where it failed; 0 for none known
};

struct SandboxState;

// Appends `text` as a Lua string literal that reads back as the same bytes.
void appendLuaString(std::string& out, std::string_view text);

class Sandbox {
 public:
  // Throws std::bad_alloc when Lua cannot have the memory for a state.
  explicit Sandbox(const SandboxLimits& limits);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Runs an integrator's engine, named `name` in Lua's messages: the
  // functions it leaves in globals are called in place of stand-ins, and
  // each call the story makes of one is an event too. Before the story.
  SandboxRun runEngine(std::string_view text, std::string_view name);
  // Loads the story's Lua; false with Lua's message (and line) when it does
  // not load.
  SandboxRun loadStory(std::string_view lua);
  // Runs the loaded story's main chunk: its declarations and tables. From
  // here on a global that nobody defined is a stand-in.
  SandboxRun runStory();

  // Looks up LABELS[name] for the entries that follow; false when it is no
  // table.
  bool enterLabel(std::string_view name);
  // Whether the label entered last has an entry `index` (from 1).
  bool hasEntry(std::size_t index);
  // Runs entry `index` (from 1) of the label entered last, appending what
  // it did to `events`. `entryLine` is the story chunk's line the entry
  // begins on, or 0 when there is no such entry (the label ran out).
  SandboxRun runEntry(std::size_t index, std::vector<SandboxEvent>& events, std::size_t& entryLine);

  void setGlobal(std::string_view name, const PlayValue& value);
  PlayValue global(std::string_view name);

 private:
  std::unique_ptr<SandboxState> state_;
};

}  // namespace brindle::check
