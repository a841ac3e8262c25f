#include "play.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "convert.h"
#include "labels.h"
#include "triggers.h"
#include "writer.h"

namespace brindle::check {
namespace {

// Room for what a story loads: its Lua, its tables and functions, a few
// times the script; and for the engine's.
SandboxLimits limitsFor(std::size_t scriptBytes, std::size_t engineBytes) {
  SandboxLimits limits;
  limits.memory = (std::size_t{64} << 20) + 32 * (scriptBytes + engineBytes);
  return limits;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as Lua reads one: digits with a point and an exponent
// where given, a sign before.
bool parseNumber(std::string_view typed, double& number) {
  std::size_t at = 0;
  if (at < typed.size() && (typed[at] == '-' || typed[at] == '+')) ++at;
  const std::size_t begin = at;
  std::size_t digits = 0;
  while (at < typed.size() && isDigit(typed[at])) ++at, ++digits;
  if (at < typed.size() && typed[at] == '.') {
    ++at;
    while (at < typed.size() && isDigit(typed[at])) ++at, ++digits;
  }
  if (digits == 0) return false;
  if (at < typed.size() && (typed[at] == 'e' || typed[at] == 'E')) {
    ++at;
    if (at < typed.size() && (typed[at] == '-' || typed[at] == '+')) ++at;
    const std::size_t exponent = at;
    while (at < typed.size() && isDigit(typed[at])) ++at;
    if (at == exponent) return false;
  }
  if (at != typed.size()) return false;
  const auto read = std::from_chars(typed.data() + begin, typed.data() + typed.size(), number);
  if (read.ec != std::errc() || read.ptr != typed.data() + typed.size()) return false;
  if (typed[0] == '-') number = -number;
  return true;
}

// A string between matching quotes, a backslash taking the next byte as it
// is but for \n and \t.
bool parseQuoted(std::string_view typed, std::string& text) {
  if (typed.size() < 2 || (typed[0] != '"' && typed[0] != '\'') || typed.back() != typed[0]) return false;
  text.clear();
  for (std::size_t at = 1; at + 1 < typed.size(); ++at) {
    char c = typed[at];
    if (c == typed[0]) return false;
    if (c == '\\') {
      if (at + 2 >= typed.size()) return false;
      c = typed[++at];
      c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    text.push_back(c);
  }
  return true;
}

// The script's line of a line of the Lua text; 0 for one not mapped.
std::size_t scriptLineOf(const PlayableLua& lua, std::size_t luaLine) {
  if (luaLine < lua.firstMapped || luaLine - lua.firstMapped >= lua.lines.lines.size()) return 0;
  return lua.lines.lines[luaLine - lua.firstMapped].scriptLine;
}

// The last script line of the table an entry on `luaLine` belongs to.
std::size_t tableEndLine(const PlayableLua& lua, std::size_t luaLine) {
  const std::vector<LuaLine>& lines = lua.lines.lines;
  for (std::size_t k = luaLine - lua.firstMapped; k < lines.size(); ++k) {
    if (lines[k].role == LuaLineRole::tableEnd) return lines[k].scriptLine;
  }
  return 0;
}

std::string joinedNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    if (!joined.empty()) joined.append(", ");
    joined.append(name);
  }
  return joined;
}

class Player {
 public:
  Player(std::string_view script, const PlayableLua& lua, const LabelReferences& labels, const PlayOptions& options,
         Sandbox& sandbox, PlayReport& report)
      : script_(script), lua_(lua), labels_(labels), options_(options), sandbox_(sandbox), report_(report) {}

  void play(const std::string& start) {
    std::size_t index = 1;
    std::size_t entries = 0;
    std::size_t lastEntryLine = 0;  // the script's
    std::size_t lastEntryLuaLine = 0;
    if (!enter(start)) return end(PlayEndKind::undefinedLabel, 0, undefinedMessage(start));
    std::vector<SandboxEvent> events;
    for (;;) {
      if (entries == options_.steps && sandbox_.hasEntry(index)) return endInLoop(lastEntryLine);
      events.clear();
      std::size_t entryLuaLine = 0;
      const SandboxRun run = sandbox_.runEntry(index, events, entryLuaLine);
      if (entryLuaLine == 0 && run.ok) {
        const std::size_t line = lastEntryLuaLine != 0 ? tableEndLine(lua_, lastEntryLuaLine) : labelLine(label_);
        return end(PlayEndKind::labelEnded, line, "label " + report_.labels[label_] + " has no more entries");
      }
      ++entries;
      const std::size_t entryLine = scriptLineOf(lua_, entryLuaLine);
      lastEntryLine = entryLine;
      lastEntryLuaLine = entryLuaLine;
      std::optional<std::size_t> pathEnd;
      std::optional<std::size_t> jump;  // in events
      std::size_t jumpLine = 0;
      for (std::size_t k = 0; k < events.size(); ++k) {
        SandboxEvent& event = events[k];
        const std::size_t mapped = scriptLineOf(lua_, event.luaLine);
        const std::size_t line = mapped != 0 ? mapped : entryLine;
        switch (event.kind) {
          case SandboxEvent::Kind::pathEnd:
            if (!pathEnd) pathEnd = line;
            break;
          case SandboxEvent::Kind::jump:
            jump = k;
            jumpLine = line;
            report_.steps.push_back({line, label_, PlayStepKind::jump, event.name, {}});
            break;
          case SandboxEvent::Kind::dialogue:
            if (!isCallStatement(line)) {
              report_.steps.push_back({line, label_, PlayStepKind::dialogue, std::move(event.name), std::move(event.text)});
              break;
            }
            // A call statement shows as one, whatever its argument.
            event.text = callText(event.name, event.text);
            [[fallthrough]];
          case SandboxEvent::Kind::call:
            report_.steps.push_back({line, label_, PlayStepKind::call, std::move(event.name), std::move(event.text)});
            break;
        }
      }
      if (!run.ok) {
        const std::size_t mapped = scriptLineOf(lua_, run.luaLine);
        return end(PlayEndKind::error, mapped != 0 ? mapped : entryLine, run.message);
      }
      if (pathEnd) return end(PlayEndKind::pathEnd, *pathEnd, "the path ends");
      if (jump) {
        const std::string target = events[*jump].name;
        if (!enter(target)) return end(PlayEndKind::undefinedLabel, jumpLine, undefinedMessage(target));
        index = 1;
        lastEntryLuaLine = 0;
        continue;
      }
      ++index;
    }
  }

 private:
  // Whether the script's line is a `call` statement.
  bool isCallStatement(std::size_t line) {
    if (lineStarts_.empty()) {
      // Found once, in one pass: a story jumps back and forth.
      lineStarts_.push_back(0);
      for (std::size_t at = script_.find('\n'); at != std::string_view::npos; at = script_.find('\n', at + 1)) {
        lineStarts_.push_back(at + 1);
      }
    }
    if (line == 0 || line > lineStarts_.size()) return false;
    std::string_view text = script_.substr(lineStarts_[line - 1]);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text.starts_with(kCall);
  }

  static std::string callText(std::string_view name, std::string_view argument) {
    std::string text(name);
    text.push_back('(');
    appendLuaString(text, argument);
    text.push_back(')');
    return text;
  }

  static std::string undefinedMessage(const std::string& target) {
    return "jump_out leads to \"" + target + "\", which no label of this script defines";
  }

  // Starts the label `name`, if LABELS has it.
  bool enter(const std::string& name) {
    if (!sandbox_.enterLabel(name)) return false;
    const auto [at, added] = indexOf_.try_emplace(name, report_.labels.size());
    if (added) report_.labels.push_back(name);
    label_ = at->second;
    visits_.push_back(label_);
    return true;
  }

  std::size_t labelLine(std::size_t label) const {
    const std::size_t name = findName(labels_.names, report_.labels[label]);
    return name < labels_.defined.size() ? labels_.defined[name].last : 0;
  }

  void end(PlayEndKind kind, std::size_t line, std::string message) {
    report_.end.kind = kind;
    report_.end.line = line;
    report_.end.label = label_;
    report_.end.message = std::move(message);
  }

  // The labels between the last two visits of the label played, in the
  // order they were first played.
  void endInLoop(std::size_t line) {
    std::size_t from = visits_.size() - 1;
    while (from > 0 && visits_[from - 1] != label_) --from;
    if (from > 0) --from;
    std::vector<std::size_t> loop(visits_.begin() + static_cast<std::ptrdiff_t>(from), visits_.end());
    if (loop.size() > 1) loop.pop_back();  // the visit that closes it
    std::sort(loop.begin(), loop.end());
    loop.erase(std::unique(loop.begin(), loop.end()), loop.end());
    for (const std::size_t label : loop) report_.end.loop.push_back(report_.labels[label]);
    end(PlayEndKind::stepLimit, line,
        "stopped after " + std::to_string(options_.steps) + " entries: the story loops through " +
            joinedNames(report_.end.loop));
  }

  std::string_view script_;
  std::vector<std::size_t> lineStarts_;  // of the script's lines, once a call needs them
  const PlayableLua& lua_;
  const LabelReferences& labels_;
  const PlayOptions& options_;
  Sandbox& sandbox_;
  PlayReport& report_;
  std::unordered_map<std::string, std::size_t> indexOf_;
  std::vector<std::size_t> visits_;  // the labels started, in order
  std::size_t label_ = 0;
};

// The first label of the script, or none.
std::optional<std::string> firstLabel(const LabelReferences& labels) {
  std::optional<std::string> first;
  std::size_t line = 0;
  for (std::size_t k = 0; k < labels.defined.size(); ++k) {
    const std::size_t at = labels.defined[k].first;
    if (at != 0 && (line == 0 || at < line)) {
      line = at;
      first = std::string(nameAt(labels.names, k));
    }
  }
  return first;
}

bool defines(const LabelReferences& labels, std::string_view name) {
  const std::size_t k = findName(labels.names, name);
  return k != kNoName && k < labels.defined.size() && labels.defined[k].first != 0;
}

// Why the options cannot be used on this script; empty when they can.
std::string refusalOf(const PlayableLua& lua, const LabelReferences& labels, const PlayOptions& options,
                      std::vector<PlayValue>& values) {
  if (options.steps < 1 || options.steps > kMostPlaySteps) {
    return "the steps must be a number from 1 to " + std::to_string(kMostPlaySteps);
  }
  if (options.from && !defines(labels, *options.from)) {
    return "the script has no label \"" + *options.from + "\" to start from";
  }
  for (const PlaySetting& setting : options.set) {
    if (std::find(lua.variables.begin(), lua.variables.end(), setting.name) == lua.variables.end()) {
      return "cannot set \"" + setting.name + "\": the script has no variable of that name";
    }
    PlayValue& value = values.emplace_back();
    if (!parsePlayValue(setting.value, value)) {
      return "cannot set \"" + setting.name + "\" to " + setting.value +
             ": a value is a number, true, false or a quoted string";
    }
  }
  return {};
}

}  // namespace

bool parsePlayValue(std::string_view typed, PlayValue& value) {
  value = PlayValue();
  if (typed == "true" || typed == "false") {
    value.kind = PlayValue::Kind::boolean;
    value.boolean = typed == "true";
    return true;
  }
  if (parseNumber(typed, value.number)) {
    value.kind = PlayValue::Kind::number;
    return true;
  }
  if (parseQuoted(typed, value.text)) {
    value.kind = PlayValue::Kind::string;
    return true;
  }
  return false;
}

namespace {

PlayableLua convertForPlay(std::string_view script, LabelReferences* labels) {
  const ConvertOptions options;  // as brindle converts
  const std::size_t mostItems = std::max<std::size_t>(options.mostItemsPerFunction, 2);
  PlayableLua lua;
  std::string console;
  StretchRecord record(options, console, &lua.lines);
  record.tables.reserve(outputReserve(script.size()));
  convertStretch(script, options, record);
  const std::size_t declarations = nameCount(record.variables);
  // The layout brindle chooses once it has read the whole script.
  const Layout layout = chooseLayout(declarations + record.tables.items(), mostItems);
  lua.text.reserve(outputReserve(script.size()));
  const LuaSink whole;  // the text gathers in lua.text
  LuaWriter writer(lua.text, whole, mostItems, options.pieceSize);
  writer.begin(layout, record.variables);
  writer.take(record.tables);
  writer.finish();
  // The first line the tables' map has is begun by their first line feed.
  lua.firstMapped = lineFeedsBeforeTables(declarations) + 2;
  lua.variables.reserve(declarations);
  for (std::size_t k = 0; k < declarations; ++k) lua.variables.emplace_back(nameAt(record.variables, k));
  if (labels) *labels = std::move(record.labels);
  return lua;
}

}  // namespace

PlayableLua playableLua(std::string_view script) { return convertForPlay(script, nullptr); }

PlayReport playScript(std::string_view script, const PlayOptions& options, const PlayEngine* engine) {
  PlayReport report;
  LabelReferences labels;
  const PlayableLua lua = convertForPlay(script, &labels);
  std::vector<PlayValue> values;
  report.refusal = refusalOf(lua, labels, options, values);
  if (!report.refusal.empty()) return report;

  Sandbox sandbox(limitsFor(script.size(), engine ? engine->text.size() : 0));
  const auto readVariables = [&] {
    for (const std::string& name : lua.variables) report.variables.push_back({name, sandbox.global(name)});
  };
  const auto fail = [&](std::size_t line, std::string message) {
    report.end.kind = PlayEndKind::error;
    report.end.line = line;
    report.end.message = std::move(message);
  };
  if (engine) {
    const SandboxRun run = sandbox.runEngine(engine->text, engine->name);
    if (!run.ok) {
      fail(0, "the engine " + engine->name + " did not run: " + run.message);
      return report;
    }
  }
  if (const SandboxRun run = sandbox.loadStory(lua.text); !run.ok) {
    if (run.stopped) {
      fail(0, run.message);
      return report;
    }
    // Only now is the script checked, for the lines that will not load.
    report.check = checkScript(script);
    report.end.kind = PlayEndKind::notLoaded;
    const std::vector<Finding>& findings = report.check->findings;
    const auto refused = std::find_if(findings.begin(), findings.end(), [](const Finding& finding) {
      return finding.kind == FindingKind::luaSyntax || finding.kind == FindingKind::unassignableVariable;
    });
    if (refused != findings.end()) {
      report.end.line = refused->line;
      report.end.message = "the story does not load: " + messageOf(*refused);
    } else {
      report.end.line = scriptLineOf(lua, run.luaLine);
      report.end.message = "the story does not load: " + run.message;
    }
    return report;
  }
  if (const SandboxRun run = sandbox.runStory(); !run.ok) {
    fail(scriptLineOf(lua, run.luaLine), run.message);
    readVariables();
    return report;
  }
  for (std::size_t k = 0; k < options.set.size(); ++k) sandbox.setGlobal(options.set[k].name, values[k]);
  const std::optional<std::string> start = options.from ? options.from : firstLabel(labels);
  if (!start) {
    fail(0, "the script has no label to start from");
  } else {
    Player(script, lua, labels, options, sandbox, report).play(*start);
  }
  readVariables();
  return report;
}

std::string playText(std::string_view path, const PlayReport& report) {
  std::string out;
  const auto place = [&](std::size_t line) {
    out.append(path);
    if (line != 0) out.append(":").append(std::to_string(line));
    out.append(": ");
  };
  for (const PlayStep& step : report.steps) {
    place(step.line);
    switch (step.kind) {
      case PlayStepKind::dialogue:
        out.append(step.name).append(": ");
        // A line of dialogue stays one line of the play.
        for (const char c : step.text) {
          if (c == '\n' || c == '\r') {
            out.append(c == '\n' ? "\\n" : "\\r");
          } else {
            out.push_back(c);
          }
        }
        break;
      case PlayStepKind::call: out.append(step.text); break;
      case PlayStepKind::jump: out.append("jump to ").append(step.name); break;
    }
    out.push_back('\n');
  }
  place(report.end.line);
  out.append(report.end.message).push_back('\n');
  return out;
}

}  // namespace brindle::check
