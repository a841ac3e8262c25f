// Lua's own parser, linked as a library: loads (compiles without running) a
// chunk given in pieces and tells where and why it is refused. The only code
// of the checker that sees Lua's API. A LuaParser owns one lua_State, closed
// when it goes, and the memory it lives in; it is used by one thread at a
// time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lua_memory.h"

struct lua_State;

namespace brindle::check {

// Why Lua refused a chunk: the line of the chunk it names (from 1) and its
// message without the chunk's name and line.
struct ParseError {
  std::size_t line = 0;
  std::string message;
};

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
