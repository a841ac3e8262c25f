// Lua's own parser, linked as a library: loads (compiles without running) a
// chunk given in pieces and tells where and why it is refused, what Lua said
// read into facts (the token it expected, the token it stopped at, the line
// where what it expected to close was opened). The only code of the checker
// that sees Lua's API or reads Lua's wording. A LuaParser owns one
// lua_State, closed when it goes, and the memory it lives in; it is used by
// one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lua_memory.h"

struct lua_State;

namespace brindle::check {

// Why Lua refused a chunk. Lines are the chunk's, from 1.
struct ParseError {
  std::size_t line = 0;  // where Lua stopped
  std::string message;   // what it said, without the chunk's name and that line
  // What it said, as facts.
  std::string expected;  // the token it expected, as `then` or `=`; empty for none
  bool nearGiven = false;
  std::string near;            // the token it stopped at, where it names one
  std::size_t openedLine = 0;  // where what it expected to close was opened; 0 for none
  std::string opened;          // what was opened there, as `(` or `if`
  bool unfinishedLongBracket = false;  // a long string or comment that never ends
  bool escapeTooLarge = false;         // a decimal escape past 255
  std::size_t openedLineAt = std::string::npos;  // where `message` gives openedLine
  std::size_t openedLineDigits = 0;
};

// Lua's message with `line` in the place of the line it names where what it
// expected to close was opened.
std::string messageOpenedAt(const ParseError& error, std::size_t line);

class LuaParser {
 public:
  // Throws std::bad_alloc when Lua cannot have the memory for a state.
  LuaParser();
  ~LuaParser();
  LuaParser(const LuaParser&) = delete;
  LuaParser& operator=(const LuaParser&) = delete;

  // Loads the chunk made of `pieces` end to end. Returns true when Lua takes
  // it; otherwise fills `error`. Lua's errors stay inside the load, which is
  // protected, so no C++ frame is skipped. Throws std::bad_alloc when Lua ran
  // out of memory.
  bool parse(const std::vector<std::string_view>& pieces, ParseError& error);

  // The Lua this is, as "Lua 5.1".
  static const char* version();

 private:
  std::unique_ptr<LuaMemory> memory_;  // outlives the state
  lua_State* state_;
};

}  // namespace brindle::check
