#include "sandbox.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "lua_memory.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

// Lua 5.1 raises its errors with longjmp, which skips C++ destructors: every
// function that Lua calls, or that calls Lua where Lua may raise, holds no
// object with a destructor while it does, and keeps C++ exceptions inside
// itself. Every call into Lua from outside goes through lua_cpcall, which is
// protected, so that no error reaches Lua's panic.

namespace brindle::check {
namespace {

// The story chunk's name as Lua puts it before a line in its messages.
constexpr const char* kStoryChunk = "=(story)";
constexpr std::string_view kStoryPrefix = "(story):";
// The count hook runs after this many instructions.
constexpr int kHookPeriod = 1000;
// Room past the limit once the run is stopped, for Lua to unwind and for the
// play to read the variables.
constexpr std::size_t kSlack = std::size_t{1} << 20;
// How far up the stack the story's frame is looked for.
constexpr int kMostLevels = 256;

// What the sandbox leaves out, as the story would name it.
constexpr const char* kRefusedGlobals[] = {"io",       "os",       "require", "load",
                                           "loadstring", "loadfile", "dofile", "debug",
                                           "package",  "module",   "collectgarbage", "getfenv",
                                           "setfenv"};
constexpr const char* kStringDump = "string.dump";

enum class Stop : std::uint8_t { none, memory, entryInstructions, totalInstructions, refused };

// The slots of the sandbox's own table in the registry.
enum Slot : int { kStoryFunction = 1, kLabels, kLabel, kBaseline, kFailureHandler };

}  // namespace

struct SandboxState {
  explicit SandboxState(const SandboxLimits& limits) : limits(limits) {}
  ~SandboxState() {
    if (lua) lua_close(lua);
  }

  LuaMemory pool;  // outlives the state
  SandboxLimits limits;
  std::size_t used = 0;
  std::uint64_t entryInstructions = 0;
  std::uint64_t totalInstructions = 0;
  Stop stop = Stop::none;
  const char* refused = nullptr;  // the name used, for Stop::refused
  bool standIns = false;
  std::size_t failedLine = 0;
  std::vector<SandboxEvent>* events = nullptr;
  int slots = LUA_NOREF;
  lua_State* lua = nullptr;
};

namespace {

using State = SandboxState;

State& stateOf(lua_State* L) {
  void* data = nullptr;
  lua_getallocf(L, &data);
  return *static_cast<State*>(data);
}

void* allocate(void* data, void* block, std::size_t oldSize, std::size_t newSize) {
  State& s = *static_cast<State*>(data);
  if (newSize > oldSize) {
    const std::size_t limit = s.limits.memory + (s.stop == Stop::none ? 0 : kSlack);
    if (s.used > limit || newSize - oldSize > limit - s.used) {
      if (s.stop == Stop::none) s.stop = Stop::memory;
      return nullptr;
    }
  }
  void* const moved = LuaMemory::allocate(&s.pool, block, oldSize, newSize);
  if (moved || newSize == 0) s.used = s.used - oldSize + newSize;
  return moved;
}

int raiseStop(lua_State* L) {
  lua_pushliteral(L, "the play was stopped");
  return lua_error(L);
}

void countInstructions(lua_State* L, lua_Debug*) {
  State& s = stateOf(L);
  s.entryInstructions += kHookPeriod;
  s.totalInstructions += kHookPeriod;
  if (s.stop == Stop::none) {
    if (s.totalInstructions > s.limits.totalInstructions) {
      s.stop = Stop::totalInstructions;
    } else if (s.entryInstructions > s.limits.entryInstructions) {
      s.stop = Stop::entryInstructions;
    }
  }
  if (s.stop != Stop::none) raiseStop(L);
}

// The line of the nearest frame of story code, from `level` up; 0 for none.
std::size_t storyLine(lua_State* L, int level) {
  lua_Debug frame;
  for (int k = level; k < level + kMostLevels && lua_getstack(L, k, &frame); ++k) {
    if (lua_getinfo(L, "Sl", &frame) && std::strcmp(frame.source, kStoryChunk) == 0) {
      return frame.currentline > 0 ? static_cast<std::size_t>(frame.currentline) : 0;
    }
  }
  return 0;
}

bool calledFromStory(lua_State* L) {
  lua_Debug frame;
  return lua_getstack(L, 1, &frame) && lua_getinfo(L, "S", &frame) &&
         std::strcmp(frame.source, kStoryChunk) == 0;
}

void appendNumber(std::string& out, double number) {
  if (std::isnan(number)) {
    out.append("0/0");
  } else if (std::isinf(number)) {
    out.append(number < 0 ? "-1/0" : "1/0");
  } else {
    char digits[40];
    // As Lua prints a number ("%.14g"), without the locale.
    const auto written = std::to_chars(digits, digits + sizeof digits, number, std::chars_format::general, 14);
    out.append(digits, written.ptr);
  }
}

}  // namespace

void appendLuaString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          // Three digits always, so that a digit after it is not read into it.
          const char escaped[] = {'\\', static_cast<char>('0' + byte / 100), static_cast<char>('0' + byte / 10 % 10),
                                  static_cast<char>('0' + byte % 10)};
          out.append(escaped, sizeof escaped);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

namespace {

std::string_view stringAt(lua_State* L, int index) {
  std::size_t size = 0;
  const char* text = lua_tolstring(L, index, &size);  // a string already: nothing is made
  return {text, size};
}

// Records a call of the function named at `nameIndex` with the arguments on
// the stack. False when the run is stopped or stops here (out of memory).
bool noteCall(lua_State* L, int nameIndex) noexcept {
  State& s = stateOf(L);
  if (s.stop != Stop::none) return false;
  if (!s.events) return true;  // the engine's own load, or the main chunk
  try {
    SandboxEvent event;
    event.luaLine = storyLine(L, 1);
    event.name = std::string(stringAt(L, nameIndex));
    const int count = lua_gettop(L);
    if (count == 1 && lua_type(L, 1) == LUA_TSTRING) {
      event.kind = SandboxEvent::Kind::dialogue;
      event.text = std::string(stringAt(L, 1));
    } else {
      event.kind = SandboxEvent::Kind::call;
      event.text = event.name;
      event.text.push_back('(');
      for (int k = 1; k <= count; ++k) {
        if (k > 1) event.text.append(", ");
        switch (lua_type(L, k)) {
          case LUA_TNIL: event.text.append("nil"); break;
          case LUA_TBOOLEAN: event.text.append(lua_toboolean(L, k) ? "true" : "false"); break;
          case LUA_TNUMBER: appendNumber(event.text, lua_tonumber(L, k)); break;
          case LUA_TSTRING: appendLuaString(event.text, stringAt(L, k)); break;
          default: event.text.append("<").append(lua_typename(L, lua_type(L, k))).append(">");
        }
      }
      event.text.push_back(')');
    }
    const std::size_t size = sizeof event + event.name.size() + event.text.size();
    if (s.used > s.limits.memory || size > s.limits.memory - s.used) {
      s.stop = Stop::memory;
      return false;
    }
    s.used += size;
    s.events->push_back(std::move(event));
    return true;
  } catch (const std::bad_alloc&) {
    s.stop = Stop::memory;
    return false;
  }
}

int standIn(lua_State* L) {
  if (!noteCall(L, lua_upvalueindex(1))) return raiseStop(L);
  return 0;
}

// An engine's function: the story's call of it is recorded, then it runs.
int engineFunction(lua_State* L) {
  if (calledFromStory(L) && !noteCall(L, lua_upvalueindex(1))) return raiseStop(L);
  lua_pushvalue(L, lua_upvalueindex(2));
  lua_insert(L, 1);
  lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
  return lua_gettop(L);
}

enum class Noted { ok, stopped, noTarget };

Noted noteJump(lua_State* L, SandboxEvent::Kind kind) noexcept {
  State& s = stateOf(L);
  if (s.stop != Stop::none) return Noted::stopped;
  if (kind == SandboxEvent::Kind::jump && lua_type(L, 1) != LUA_TSTRING) return Noted::noTarget;
  if (!s.events) return Noted::ok;
  try {
    SandboxEvent event;
    event.kind = kind;
    event.luaLine = storyLine(L, 1);
    if (kind == SandboxEvent::Kind::jump) event.name = std::string(stringAt(L, 1));
    s.used += sizeof event + event.name.size();
    if (s.used > s.limits.memory) {
      s.stop = Stop::memory;
      return Noted::stopped;
    }
    s.events->push_back(std::move(event));
    return Noted::ok;
  } catch (const std::bad_alloc&) {
    s.stop = Stop::memory;
    return Noted::stopped;
  }
}

int jumpOut(lua_State* L) {
  switch (noteJump(L, SandboxEvent::Kind::jump)) {
    case Noted::ok: return 0;
    case Noted::stopped: return raiseStop(L);
    case Noted::noTarget: break;
  }
  return luaL_error(L, "jump_out needs the name of a label, not a %s value", luaL_typename(L, 1));
}

int pathEnd(lua_State* L) {
  if (noteJump(L, SandboxEvent::Kind::pathEnd) != Noted::ok) return raiseStop(L);
  return 0;
}

const char* refusedGlobal(std::string_view name) {
  for (const char* refused : kRefusedGlobals) {
    if (name == refused) return refused;
  }
  return nullptr;
}

int refuse(lua_State* L, const char* name) {
  State& s = stateOf(L);
  if (s.stop == Stop::none) {
    s.stop = Stop::refused;
    s.refused = name;
  }
  return raiseStop(L);
}

// _G's __index: a refused name stops the run; any other name, once the
// story runs, is a stand-in, kept in _G for the next call.
int missingGlobal(lua_State* L) {
  if (lua_type(L, 2) != LUA_TSTRING) return 0;
  if (const char* refused = refusedGlobal(stringAt(L, 2))) return refuse(L, refused);
  if (!stateOf(L).standIns) return 0;
  lua_pushvalue(L, 2);
  lua_pushcclosure(L, standIn, 1);
  lua_pushvalue(L, 2);
  lua_pushvalue(L, -2);
  lua_rawset(L, 1);
  return 1;
}

int missingStringField(lua_State* L) {
  if (lua_type(L, 2) == LUA_TSTRING && stringAt(L, 2) == "dump") return refuse(L, kStringDump);
  return 0;
}

// The story's pcall, xpcall and coroutine.resume catch its own errors, but
// never a stop.
int safePcall(lua_State* L) {
  luaL_checkany(L, 1);
  const int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
  if (stateOf(L).stop != Stop::none) return raiseStop(L);
  lua_pushboolean(L, status == 0);
  lua_insert(L, 1);
  return lua_gettop(L);
}

int safeXpcall(lua_State* L) {
  luaL_checkany(L, 2);
  lua_settop(L, 2);
  lua_insert(L, 1);  // the handler below the function
  const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
  if (stateOf(L).stop != Stop::none) return raiseStop(L);
  lua_pushboolean(L, status == 0);
  lua_replace(L, 1);
  return lua_gettop(L);
}

int safeResume(lua_State* L) {
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_insert(L, 1);
  lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
  if (stateOf(L).stop != Stop::none) return raiseStop(L);
  return lua_gettop(L);
}

// The error handler of every run: where in the story it failed.
int noteFailure(lua_State* L) {
  stateOf(L).failedLine = storyLine(L, 1);
  return 1;
}

void getSlot(lua_State* L, Slot slot) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, stateOf(L).slots);
  lua_rawgeti(L, -1, slot);
  lua_remove(L, -2);
}

// Sets the slot to the value on top, which it pops.
void setSlot(lua_State* L, Slot slot) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, stateOf(L).slots);
  lua_insert(L, -2);
  lua_rawseti(L, -2, slot);
  lua_pop(L, 1);
}

// A protected table with this __index.
void setGuard(lua_State* L, int table, lua_CFunction index) {
  lua_newtable(L);
  lua_pushcfunction(L, index);
  lua_setfield(L, -2, "__index");
  lua_pushboolean(L, 0);
  lua_setfield(L, -2, "__metatable");
  lua_setmetatable(L, table);
}

int setUp(lua_State* L) {
  const lua_CFunction libraries[] = {luaopen_base, luaopen_string, luaopen_table, luaopen_math};
  for (const lua_CFunction open : libraries) {
    lua_pushcfunction(L, open);
    lua_call(L, 0, 0);
  }
  for (const char* name : kRefusedGlobals) {
    lua_pushnil(L);
    lua_setfield(L, LUA_GLOBALSINDEX, name);
  }
  // print would write to standard output: the story's print is a stand-in.
  lua_pushnil(L);
  lua_setfield(L, LUA_GLOBALSINDEX, "print");
  lua_pushcfunction(L, safePcall);
  lua_setfield(L, LUA_GLOBALSINDEX, "pcall");
  lua_pushcfunction(L, safeXpcall);
  lua_setfield(L, LUA_GLOBALSINDEX, "xpcall");
  lua_getfield(L, LUA_GLOBALSINDEX, "coroutine");
  lua_getfield(L, -1, "resume");
  lua_pushcclosure(L, safeResume, 1);
  lua_setfield(L, -2, "resume");
  lua_pop(L, 1);
  lua_getfield(L, LUA_GLOBALSINDEX, "string");
  lua_pushnil(L);
  lua_setfield(L, -2, "dump");
  setGuard(L, lua_gettop(L), missingStringField);
  lua_pop(L, 1);
  setGuard(L, LUA_GLOBALSINDEX, missingGlobal);

  lua_newtable(L);
  stateOf(L).slots = luaL_ref(L, LUA_REGISTRYINDEX);
  lua_pushcfunction(L, noteFailure);
  setSlot(L, kFailureHandler);
  // What the globals are before the engine runs, to tell its own.
  lua_newtable(L);
  lua_pushnil(L);
  while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
    lua_pop(L, 1);
    lua_pushvalue(L, -1);
    lua_pushboolean(L, 1);
    lua_rawset(L, -4);
  }
  setSlot(L, kBaseline);
  return 0;
}

void setOwnFunctions(lua_State* L) {
  lua_pushcfunction(L, jumpOut);
  lua_setfield(L, LUA_GLOBALSINDEX, "jump_out");
  lua_pushcfunction(L, pathEnd);
  lua_setfield(L, LUA_GLOBALSINDEX, "path_end");
}

// What a protected step is given and gives.
struct Step {
  std::string_view text;
  std::string_view name;
  std::size_t index = 0;
  const PlayValue* value = nullptr;
  PlayValue* read = nullptr;
  SandboxRun* run = nullptr;
  std::size_t* entryLine = nullptr;
  bool found = false;
};

Step& stepOf(lua_State* L) { return *static_cast<Step*>(lua_touserdata(L, 1)); }

// The failure on top of the stack, into `run`; its position in the story
// is cut from the message.
void takeFailure(lua_State* L, SandboxRun& run) {
  State& s = stateOf(L);
  run.ok = false;
  run.luaLine = s.failedLine;
  const int type = lua_type(L, -1);
  const std::string_view message = type == LUA_TSTRING ? stringAt(L, -1) : std::string_view();
  try {
    if (type == LUA_TSTRING) {
      run.message = std::string(message);
    } else {
      run.message = std::string("(error object is a ") + lua_typename(L, type) + " value)";
    }
    if (run.message.starts_with(kStoryPrefix)) {
      std::size_t end = kStoryPrefix.size();
      std::size_t line = 0;
      while (end < run.message.size() && run.message[end] >= '0' && run.message[end] <= '9' && end < 24) {
        line = line * 10 + static_cast<std::size_t>(run.message[end++] - '0');
      }
      if (end < run.message.size() && run.message[end] == ':') {
        run.message.erase(0, end + (run.message.compare(end, 2, ": ") == 0 ? 2 : 1));
        if (run.luaLine == 0) run.luaLine = line;
      }
    }
  } catch (const std::bad_alloc&) {
    if (s.stop == Stop::none) s.stop = Stop::memory;
  }
  lua_pop(L, 1);
}

// Runs the function on top with no arguments, under the failure handler.
void runProtected(lua_State* L, SandboxRun& run) {
  State& s = stateOf(L);
  getSlot(L, kFailureHandler);
  lua_insert(L, -2);
  s.failedLine = 0;
  s.entryInstructions = 0;
  if (lua_pcall(L, 0, 0, -2) != 0) takeFailure(L, run);
  lua_pop(L, 1);
}

int engineStep(lua_State* L) {
  Step& step = stepOf(L);
  // The name Lua gives the chunk in its messages, the '=' keeping it as it is.
  lua_pushliteral(L, "=");
  lua_pushlstring(L, step.name.data(), step.name.size());
  lua_concat(L, 2);
  const int status = luaL_loadbuffer(L, step.text.data(), step.text.size(), lua_tostring(L, -1));
  lua_remove(L, -2);
  if (status != 0) {
    takeFailure(L, *step.run);
    return 0;
  }
  runProtected(L, *step.run);
  if (!step.run->ok) return 0;
  // The engine's functions are wrapped, to see the story's calls of them.
  getSlot(L, kBaseline);
  const int baseline = lua_gettop(L);
  lua_pushnil(L);
  while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
    lua_pushvalue(L, -2);
    lua_rawget(L, baseline);
    const bool known = lua_toboolean(L, -1);
    lua_pop(L, 1);
    if (!known && lua_type(L, -2) == LUA_TSTRING && lua_isfunction(L, -1)) {
      lua_pushvalue(L, -2);
      lua_insert(L, -2);
      lua_pushcclosure(L, engineFunction, 2);
      lua_pushvalue(L, -2);
      lua_insert(L, -2);
      lua_rawset(L, LUA_GLOBALSINDEX);  // an existing key: the walk goes on
    } else {
      lua_pop(L, 1);
    }
  }
  lua_pop(L, 1);
  return 0;
}

int loadStep(lua_State* L) {
  Step& step = stepOf(L);
  // What a load makes stays but for a few of the parser's strings: the
  // collector, which would walk the growing heap again and again, waits.
  lua_gc(L, LUA_GCSTOP, 0);
  const int status = luaL_loadbuffer(L, step.text.data(), step.text.size(), kStoryChunk);
  lua_gc(L, LUA_GCRESTART, 0);
  if (status != 0) {
    takeFailure(L, *step.run);
    return 0;
  }
  setSlot(L, kStoryFunction);
  return 0;
}

int storyStep(lua_State* L) {
  Step& step = stepOf(L);
  setOwnFunctions(L);
  getSlot(L, kStoryFunction);
  runProtected(L, *step.run);
  if (!step.run->ok) return 0;
  lua_getfield(L, LUA_GLOBALSINDEX, "LABELS");
  setSlot(L, kLabels);
  // The engine may have named them too; the play's own stay.
  setOwnFunctions(L);
  stateOf(L).standIns = true;
  return 0;
}

int labelStep(lua_State* L) {
  Step& step = stepOf(L);
  getSlot(L, kLabels);
  if (lua_istable(L, -1)) {
    lua_pushlstring(L, step.name.data(), step.name.size());
    lua_rawget(L, -2);
  } else {
    lua_pushnil(L);
  }
  step.found = lua_istable(L, -1);
  setSlot(L, kLabel);
  return 0;
}

int entryStep(lua_State* L) {
  Step& step = stepOf(L);
  getSlot(L, kLabel);
  lua_rawgeti(L, -1, static_cast<int>(step.index));
  lua_remove(L, -2);
  if (lua_isnil(L, -1)) return 0;
  lua_Debug where;
  lua_pushvalue(L, -1);
  if (lua_getinfo(L, ">S", &where) && std::strcmp(where.source, kStoryChunk) == 0 && where.linedefined > 0) {
    *step.entryLine = static_cast<std::size_t>(where.linedefined);
  } else {
    *step.entryLine = SIZE_MAX;  // there is an entry, but not of the story's text
  }
  runProtected(L, *step.run);
  return 0;
}

int hasEntryStep(lua_State* L) {
  Step& step = stepOf(L);
  getSlot(L, kLabel);
  lua_rawgeti(L, -1, static_cast<int>(step.index));
  step.found = !lua_isnil(L, -1);
  lua_pop(L, 2);
  return 0;
}

int setStep(lua_State* L) {
  Step& step = stepOf(L);
  lua_pushlstring(L, step.name.data(), step.name.size());
  switch (step.value->kind) {
    case PlayValue::Kind::number: lua_pushnumber(L, step.value->number); break;
    case PlayValue::Kind::boolean: lua_pushboolean(L, step.value->boolean); break;
    case PlayValue::Kind::string: lua_pushlstring(L, step.value->text.data(), step.value->text.size()); break;
    default: lua_pushnil(L);
  }
  lua_rawset(L, LUA_GLOBALSINDEX);
  return 0;
}

int readStep(lua_State* L) {
  Step& step = stepOf(L);
  lua_pushlstring(L, step.name.data(), step.name.size());
  lua_rawget(L, LUA_GLOBALSINDEX);
  PlayValue& value = *step.read;
  switch (lua_type(L, -1)) {
    case LUA_TNIL: value.kind = PlayValue::Kind::nil; break;
    case LUA_TNUMBER:
      value.kind = PlayValue::Kind::number;
      value.number = lua_tonumber(L, -1);
      break;
    case LUA_TBOOLEAN:
      value.kind = PlayValue::Kind::boolean;
      value.boolean = lua_toboolean(L, -1);
      break;
    default: {
      const bool isString = lua_type(L, -1) == LUA_TSTRING;
      const std::string_view text = isString ? stringAt(L, -1) : std::string_view(luaL_typename(L, -1));
      value.kind = isString ? PlayValue::Kind::string : PlayValue::Kind::other;
      try {
        value.text.assign(text);
      } catch (const std::bad_alloc&) {
        value.kind = PlayValue::Kind::other;
      }
    }
  }
  lua_pop(L, 1);
  return 0;
}

// Runs a step in protected mode; Lua's own failures there (out of memory)
// go into `run`.
void protect(State& s, lua_CFunction function, Step& step, SandboxRun& run) {
  step.run = &run;
  s.failedLine = 0;
  if (lua_cpcall(s.lua, function, &step) != 0) {
    run.ok = false;
    if (s.stop == Stop::none) s.stop = Stop::memory;
    lua_pop(s.lua, 1);
  }
}

// Runs a step as protect does, unless the play has stopped already: after a
// stop nothing more of the story or the engine runs.
void protectUnlessStopped(State& s, lua_CFunction function, Step& step, SandboxRun& run) {
  if (s.stop == Stop::none) protect(s, function, step, run);
}

std::string stopMessage(const State& s) {
  switch (s.stop) {
    case Stop::memory:
      return "stopped: the story used more than " + std::to_string(s.limits.memory >> 20) +
             " MiB of memory, the most a play may use";
    case Stop::entryInstructions:
      return "stopped after " + std::to_string(s.limits.entryInstructions) +
             " Lua instructions in one entry: the story may be caught in a loop";
    case Stop::totalInstructions:
      return "stopped after " + std::to_string(s.limits.totalInstructions) +
             " Lua instructions in all, the most a play may run";
    case Stop::refused:
      return std::string(s.refused) + " is not available: a story plays in a sandbox";
    case Stop::none:
      break;
  }
  return {};
}

// The run's end as the sandbox tells it: a stop says why it stopped.
SandboxRun finished(const State& s, SandboxRun run) {
  if (s.stop != Stop::none) {
    run.ok = false;
    run.stopped = true;
    run.message = stopMessage(s);
  }
  return run;
}

}  // namespace

Sandbox::Sandbox(const SandboxLimits& limits) : state_(std::make_unique<SandboxState>(limits)) {
  SandboxState& s = *state_;
  s.lua = lua_newstate(allocate, &s);
  if (!s.lua) throw std::bad_alloc();
  lua_sethook(s.lua, countInstructions, LUA_MASKCOUNT, kHookPeriod);
  Step step;
  SandboxRun run;
  protect(s, setUp, step, run);
  if (!run.ok) throw std::bad_alloc();
}

Sandbox::~Sandbox() = default;

SandboxRun Sandbox::runEngine(std::string_view text, std::string_view name) {
  Step step;
  step.text = text;
  step.name = name;
  SandboxRun run;
  protectUnlessStopped(*state_, engineStep, step, run);
  return finished(*state_, std::move(run));
}

SandboxRun Sandbox::loadStory(std::string_view lua) {
  Step step;
  step.text = lua;
  SandboxRun run;
  protectUnlessStopped(*state_, loadStep, step, run);
  return finished(*state_, std::move(run));
}

SandboxRun Sandbox::runStory() {
  Step step;
  SandboxRun run;
  protectUnlessStopped(*state_, storyStep, step, run);
  return finished(*state_, std::move(run));
}

bool Sandbox::enterLabel(std::string_view name) {
  Step step;
  step.name = name;
  SandboxRun run;
  protectUnlessStopped(*state_, labelStep, step, run);
  return run.ok && step.found;
}

bool Sandbox::hasEntry(std::size_t index) {
  Step step;
  step.index = index;
  SandboxRun run;
  protectUnlessStopped(*state_, hasEntryStep, step, run);
  return run.ok && step.found;
}

SandboxRun Sandbox::runEntry(std::size_t index, std::vector<SandboxEvent>& events, std::size_t& entryLine) {
  SandboxState& s = *state_;
  Step step;
  step.index = index;
  entryLine = 0;
  step.entryLine = &entryLine;
  SandboxRun run;
  s.events = &events;
  protectUnlessStopped(s, entryStep, step, run);
  s.events = nullptr;
  return finished(s, std::move(run));
}

void Sandbox::setGlobal(std::string_view name, const PlayValue& value) {
  Step step;
  step.name = name;
  step.value = &value;
  SandboxRun run;
  protect(*state_, setStep, step, run);
}

PlayValue Sandbox::global(std::string_view name) {
  PlayValue value;
  Step step;
  step.name = name;
  step.read = &value;
  SandboxRun run;
  protect(*state_, readStep, step, run);
  return value;
}

}  // namespace brindle::check
