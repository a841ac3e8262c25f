// A preview of a story: the script converted as brindle writes output.lua,
// loaded into Lua 5.1 in a sandbox (sandbox.h) and played from its first
// label the way an engine plays it, entry after entry. What the story does
// is a list of steps (dialogue, calls, jumps), each at its script line, and
// an end: the path ends, a label runs out, a jump leads nowhere, the step
// limit, or an error. A pure function of the script, the options and an
// engine's text; no file I/O. Any thread may play, each its own script.
//
// The rules: jump_out and path_end take effect when the entry that called
// them returns (path_end first; of several jumps the last); a global the
// story calls and nobody defined is a stand-in, a line of dialogue when
// called with one string, a call otherwise. An engine's functions run in
// place of stand-ins, and the story's calls of them are steps too.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "sandbox.h"

namespace brindle::check {

inline constexpr std::size_t kDefaultPlaySteps = 10000;
inline constexpr std::size_t kMostPlaySteps = 1000000;

// A variable set before the first entry, its value as typed: a number,
// true, false or a quoted string.
struct PlaySetting {
  std::string name;
  std::string value;
};

struct PlayOptions {
  std::optional<std::string> from;  // the label to start at; the first one when none
  std::vector<PlaySetting> set;
  std::size_t steps = kDefaultPlaySteps;  // entries, at least 1
};

// An integrator's engine, run before the story.
struct PlayEngine {
  std::string name;  // as its messages name it
  std::string text;
};

enum class PlayStepKind { dialogue, call, jump };

struct PlayStep {
  std::size_t line = 0;   // the script's, from 1
  std::size_t label = 0;  // in PlayReport::labels
  PlayStepKind kind = PlayStepKind::call;
  std::string name;  // the speaker; the jump's target
  std::string text;  // the dialogue's line; the call as Lua literals, as show_text("Hi")
};

enum class PlayEndKind { pathEnd, labelEnded, undefinedLabel, stepLimit, error, notLoaded };

struct PlayEnd {
  PlayEndKind kind = PlayEndKind::error;
  std::size_t line = 0;  // 0 where no line of the script is to blame
  std::optional<std::size_t> label;  // in PlayReport::labels; none before the play began
  std::string message;
  std::vector<std::string> loop;  // for stepLimit: the labels it loops through
};

struct PlayVariable {
  std::string name;
  PlayValue value;
};

struct PlayReport {
  // Why the options cannot be used (an unknown label, a setting of no
  // variable or of a value that is none); nothing is played then.
  std::string refusal;
  std::vector<std::string> labels;  // those played, in the order first played
  std::vector<PlayStep> steps;
  PlayEnd end;
  std::vector<PlayVariable> variables;  // every declared one, in the order declared, at the end
  std::optional<CheckReport> check;     // for notLoaded: what the check finds
};

// Reads a value as --set gives it; false when it is none of the forms.
bool parsePlayValue(std::string_view typed, PlayValue& value);

// Plays `script`, the text that scriptText finds in a file.
PlayReport playScript(std::string_view script, const PlayOptions& options, const PlayEngine* engine = nullptr);

// The Lua text brindle writes for `script`, and for each of its lines from
// line `firstMapped` on the script line it comes from, as the play reads
// them.
struct PlayableLua {
  std::string text;
  LineMap lines;               // the lines of the label tables
  std::size_t firstMapped = 0;  // the text's line that lines.lines[0] is
  std::vector<std::string> variables;  // declared, in order
};
PlayableLua playableLua(std::string_view script);

// The report as printed, one line per step then one for the end, each
// "PATH:LINE: ..."; a line feed or carriage return in dialogue is written
// \n or \r.
std::string playText(std::string_view path, const PlayReport& report);

}  // namespace brindle::check
