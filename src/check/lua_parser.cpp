#include "lua_parser.h"

#include <cstdlib>
#include <new>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

namespace brindle::check {
namespace {

// Hands Lua the pieces one after another.
struct Pieces {
  const std::vector<std::string_view>* pieces;
  std::size_t next = 0;
};

const char* readPiece(lua_State*, void* data, std::size_t* size) {
  Pieces& reader = *static_cast<Pieces*>(data);
  while (reader.next < reader.pieces->size()) {
    const std::string_view piece = (*reader.pieces)[reader.next++];
    if (piece.empty()) continue;
    *size = piece.size();
    return piece.data();
  }
  *size = 0;
  return nullptr;
}

// The chunk's name as Lua puts it before the line in its messages: "=" keeps
// the name as it is.
constexpr const char* kChunkName = "=lua";
constexpr std::string_view kMessagePrefix = "lua:";

// Splits "lua:LINE: message" into its line and message.
ParseError splitMessage(std::string_view text) {
  ParseError error;
  if (text.substr(0, kMessagePrefix.size()) != kMessagePrefix) {
    error.message = std::string(text);
    return error;
  }
  text.remove_prefix(kMessagePrefix.size());
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    error.line = error.line * 10 + static_cast<std::size_t>(text[digits] - '0');
    ++digits;
  }
  text.remove_prefix(digits);
  if (text.substr(0, 2) == ": ") text.remove_prefix(2);
  error.message = std::string(text);
  return error;
}

}  // namespace

LuaParser::LuaParser()
    : memory_(std::make_unique<LuaMemory>()), state_(lua_newstate(&LuaMemory::allocate, memory_.get())) {
  if (state_ == nullptr) throw std::bad_alloc();
  // What a parse leaves is garbage but for a few strings: collecting once the
  // heap has grown tenfold since the last collection costs little memory and
  // a good share less time than Lua's usual doubling.
  lua_gc(state_, LUA_GCSETPAUSE, 1000);
}

LuaParser::~LuaParser() { lua_close(state_); }

bool LuaParser::parse(const std::vector<std::string_view>& pieces, ParseError& error) {
  Pieces reader{&pieces};
  const int status = lua_load(state_, readPiece, &reader, kChunkName);
  if (status == 0) {
    lua_pop(state_, 1);  // the compiled chunk, never run
    return true;
  }
  if (status == LUA_ERRMEM) {
    lua_pop(state_, 1);
    throw std::bad_alloc();
  }
  std::size_t size = 0;
  const char* text = lua_tolstring(state_, -1, &size);
  error = splitMessage(text ? std::string_view(text, size) : std::string_view());
  lua_pop(state_, 1);
  return false;
}

const char* LuaParser::version() { return LUA_VERSION; }

}  // namespace brindle::check
