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

// The number at `at` of `text`, and where it ends; 0 where no digit stands
// there.
std::size_t numberAt(std::string_view text, std::size_t at, std::size_t& end) {
  std::size_t number = 0;
  for (end = at; end < text.size() && text[end] >= '0' && text[end] <= '9' && end - at < 18; ++end) {
    number = number * 10 + static_cast<std::size_t>(text[end] - '0');
  }
  return number;
}

// Lua's messages are `MESSAGE near 'TOKEN'` where it names a token,
// `'X' expected` where it expected one, and `(to close 'X' at line N)` where
// it expected the end of something opened on an earlier line.
void readFacts(ParseError& error) {
  const std::string_view message = error.message;
  constexpr std::string_view kNear = "near '";
  if (const std::size_t near = message.find(kNear); near != std::string_view::npos) {
    const std::string_view quoted = message.substr(near + kNear.size());
    error.nearGiven = true;
    error.near = std::string(quoted.substr(0, quoted.rfind('\'')));
  }
  constexpr std::string_view kExpected = "' expected";
  if (message.starts_with('\'')) {
    const std::size_t close = message.find('\'', 1);
    if (close != std::string_view::npos && message.substr(close).starts_with(kExpected)) {
      error.expected = std::string(message.substr(1, close - 1));
    }
  }
  constexpr std::string_view kAtLine = "' at line ";
  constexpr std::string_view kToClose = "(to close '";
  if (const std::size_t at = message.find(kAtLine); at != std::string_view::npos) {
    const std::size_t digits = at + kAtLine.size();
    std::size_t end = digits;
    const std::size_t line = numberAt(message, digits, end);
    if (end > digits) {
      error.openedLine = line;
      error.openedLineAt = digits;
      error.openedLineDigits = end - digits;
      const std::size_t open = message.rfind(kToClose, at);
      if (open != std::string_view::npos) {
        error.opened = std::string(message.substr(open + kToClose.size(), at - open - kToClose.size()));
      }
    }
  }
  error.unfinishedLongBracket = message.starts_with("unfinished long");
  error.escapeTooLarge = message.starts_with("escape sequence too large");
}

// Splits "lua:LINE: message" into its line and message, and reads the
// message's facts.
ParseError splitMessage(std::string_view text) {
  ParseError error;
  if (text.substr(0, kMessagePrefix.size()) == kMessagePrefix) {
    text.remove_prefix(kMessagePrefix.size());
    std::size_t digits = 0;
    error.line = numberAt(text, 0, digits);
    text.remove_prefix(digits);
    if (text.substr(0, 2) == ": ") text.remove_prefix(2);
  }
  error.message = std::string(text);
  readFacts(error);
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

std::string messageOpenedAt(const ParseError& error, std::size_t line) {
  if (error.openedLineAt == std::string::npos) return error.message;
  std::string message = error.message;
  return message.replace(error.openedLineAt, error.openedLineDigits, std::to_string(line));
}

}  // namespace brindle::check
