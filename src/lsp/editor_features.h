// What the language server answers, each a function of a version of a
// document (its Story, and its check) and a position, apart from the
// protocol: the tests call them as tables. Ranges are the editor's; any
// thread may call them on a story it holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <functional>

#include "check.h"
#include "positions.h"
#include "story.h"
#include "story_check.h"
#include "story_map.h"

namespace brindle::lsp {

struct TextEdit {
  Range range;
  std::string newText;
};

enum class Severity { error = 1, warning = 2, hint = 4 };

struct Diagnostic {
  Range range;
  Severity severity = Severity::error;
  std::string code;  // the finding's kind, as --json names it
  std::string message;
};

// Every finding and warning of brindle-check, with its range: the text to
// change where a fix is known, otherwise the line's text; at the lines of
// the version the report is of. Then a hint (no code) on the name of each
// label no jump_out names, but the first, where the story begins. `visit`
// sees each in turn, its code and message only while it is called.
using DiagnosticVisit =
    std::function<void(const Range& range, Severity severity, std::string_view code, std::string_view message)>;
void forEachDiagnostic(const StoryReport& report, const DiagnosticVisit& visit);
std::vector<Diagnostic> diagnosticsOf(const StoryReport& report);

// A jump_out's target: its label (the last definition, the one LABELS
// keeps); a variable's name: its first `$` line.
std::optional<Range> definitionAt(const Story& story, Position position);

// A label's jumps (and its definitions, when asked); a variable's `$` lines.
std::vector<Range> referencesAt(const Story& story, Position position, bool withDefinitions);

enum class CompletionKind { label = 18 /* Reference */, variable = 6 /* Variable */ };

struct Completion {
  std::string name;
  CompletionKind kind = CompletionKind::label;
};

// Label names after `jump_out `; variable names after `$ ` and in the
// conditions of if and elif lines. At most `most`, those that start with
// the word being typed.
std::vector<Completion> completionsAt(const Story& story, Position position, std::size_t most = 1000);

// On a statement, the Lua it becomes; on a label, its entries and the
// jumps to it; as Markdown.
std::optional<std::string> hoverAt(const Story& story, Position position);

// The edits that rename the label at `position` and every jump_out naming
// it, or why not (`refusal` is then set).
struct Rename {
  std::vector<TextEdit> edits;
  std::string refusal;
};
Rename renameAt(const Story& story, Position position, std::string_view newName);

struct Symbol {
  std::string name;
  Range range;      // the label's line
  Range selection;  // its name
};

// The labels, in order.
std::vector<Symbol> documentSymbols(const Story& story);

struct Lens {
  Range range;
  std::string title;  // "3 jumps"
};

// "N jumps" above each label.
std::vector<Lens> codeLenses(const Story& story);

struct QuickFix {
  std::string title;
  TextEdit edit;
};

// The fixes of one exact edit for the findings on lines `range` touches:
// != to ~=, && and || to and and or, else if to elif, a missing colon. The
// report may be of an older version than `story`.
std::vector<QuickFix> quickFixes(const Story& story, const StoryReport& report, Range range);

// The story's map, from its pieces, as brindle-check --map makes it from
// the script.
StoryMap storyMap(const Story& story);

// The Lua brindle writes for the story, whole.
std::string storyLua(const Story& story);

}  // namespace brindle::lsp
