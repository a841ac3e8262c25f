-- A small reference engine for testing generated stories; it is not shipped.
--
--   lua engine.lua OUTPUT.lua [START]      (START defaults to "start")
--
-- Loads OUTPUT.lua, then plays the story the way the game engine does: the
-- entries of LABELS[label] are functions, called one after another.
-- Everything the story does is printed as a trace on standard output:
--
--   declared NAME = VALUE     each variable as the file declares it
--   label NAME                a label starts
--   SPEAKER: TEXT             a line of dialogue
--   COMMAND(ARGS)             a call of an engine command such as show_text
--   NAME = VALUE              a variable changed (shown before the next event
--                             and at the end of each entry)
--   jump_out NAME / path_end  the story moves on / ends
--
-- How jump_out and path_end interrupt an entry: both raise an error whose
-- value is a private sentinel table, and each entry runs under pcall. So the
-- rest of the entry is skipped wherever the call stands (inside an if/else
-- body too), exactly as if the engine had stopped running that function.
-- jump_out then starts the named label from its first entry; path_end ends
-- the story. Any other error is a fault of the story: it is printed with its
-- position in OUTPUT.lua and the engine exits with status 1, as it does when
-- a label runs out of entries without a jump_out or path_end, when a
-- jump_out names no label, or when the story jumps more than MAX_JUMPS times.
--
-- Speakers are the names that the file calls with a bare string literal
-- (`e "Hello"`); they are found by scanning the file once it is loaded.
-- Commands are listed in COMMANDS below. Reading any other global that the
-- file did not set is an error, so a misspelt name fails the run instead of
-- reading as nil. Runs under Lua 5.1 to 5.4 and LuaJIT.

local MAX_JUMPS = 10000

local COMMANDS = { "show_text", "play_sound", "play_music", "show_scene", "hide_scene" }

local LUA_KEYWORDS = {}
for word in ([[and break do else elseif end false for function goto if in local nil
  not or repeat return then true until while]]):gmatch("%S+") do
  LUA_KEYWORDS[word] = true
end

local path, start = arg[1], arg[2] or "start"
if not path then
  io.stderr:write("usage: engine.lua OUTPUT.lua [START]\n")
  os.exit(2)
end

local function die(message)
  io.stdout:flush()
  io.stderr:write("engine: ", message, "\n")
  os.exit(1)
end

local function formatValue(value)
  if type(value) == "string" then return '"' .. value .. '"' end
  -- "%.14g" prints integral numbers alike in Lua 5.4 (integers) and 5.1.
  if type(value) == "number" then return string.format("%.14g", value) end
  return tostring(value)
end

local out = {}
local function emit(line) out[#out + 1] = line end

-- Variables: every global the story file creates that is not a table or a
-- function. Changes are reported by comparing with the last values shown.
local baseline = {}
for name in pairs(_G) do baseline[name] = true end
local shown = {}

local function reportChanges(prefix)
  local names = {}
  for name, value in pairs(_G) do
    local kind = type(value)
    if not baseline[name] and kind ~= "table" and kind ~= "function" and shown[name] ~= value then
      names[#names + 1] = name
    end
  end
  table.sort(names)
  for _, name in ipairs(names) do
    shown[name] = rawget(_G, name)
    emit(prefix .. name .. " = " .. formatValue(shown[name]))
  end
end

local JUMP, END = {}, {}
local jumpTarget

local function event(text)
  reportChanges("  ")
  emit("  " .. text)
end

function jump_out(target)
  event("jump_out " .. tostring(target))
  jumpTarget = target
  error(JUMP, 0)
end

function path_end()
  event("path_end")
  error(END, 0)
end

for _, name in ipairs(COMMANDS) do
  _G[name] = function(...)
    local parts = {}
    for i = 1, select("#", ...) do parts[i] = formatValue((select(i, ...))) end
    event(name .. "(" .. table.concat(parts, ", ") .. ")")
  end
end

local chunk, loadError = loadfile(path)
if not chunk then die(loadError) end
local loaded, runError = pcall(chunk)
if not loaded then die(tostring(runError)) end
if type(rawget(_G, "LABELS")) ~= "table" then die(path .. " does not set the table LABELS") end

-- Speakers are defined only now, so that a word in some dialogue that happens
-- to look like one can never hide a variable of the story.
local file = io.open(path, "rb")
if not file then die("cannot open " .. path) end
local source = file:read("*a")
file:close()
for name in source:gmatch("([%a_][%w_]*)[ \t]+[\"']") do
  if not LUA_KEYWORDS[name] and rawget(_G, name) == nil then
    _G[name] = function(text) event(name .. ": " .. tostring(text)) end
  end
end

-- From here on any read of an unset global is a fault of the story.
setmetatable(_G, {
  __index = function(_, name) error("undefined global '" .. tostring(name) .. "'", 2) end,
})
reportChanges("declared ")

local label, jumps = start, 0
while true do
  local entries = LABELS[label]
  if type(entries) ~= "table" then die("jump_out to a label that does not exist: " .. tostring(label)) end
  emit("label " .. label)
  local jumped = false
  for index, entry in ipairs(entries) do
    local ok, signal = pcall(entry)
    if ok then
      reportChanges("  ")
    elseif signal == JUMP then
      jumped = true
      break
    elseif signal == END then
      print(table.concat(out, "\n"))
      os.exit(0)
    else
      print(table.concat(out, "\n"))
      die("label " .. label .. ", entry " .. index .. ": " .. tostring(signal))
    end
  end
  if not jumped then
    print(table.concat(out, "\n"))
    die("label " .. label .. " ran out of entries without jump_out or path_end")
  end
  jumps = jumps + 1
  if jumps > MAX_JUMPS then die("more than " .. MAX_JUMPS .. " jumps; the story loops") end
  label = jumpTarget
end
