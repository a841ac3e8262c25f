#include "convert.h"

#include <algorithm>

#include "decode.h"
#include "text_changes.h"
#include "variables.h"
#include "walk.h"

namespace brindle {

StretchRecord::StretchRecord(const ConvertOptions& options, std::string& console, LineMap* lineMap)
    : lineMap(lineMap),
      tables(console, std::max<std::size_t>(options.mostItemsPerFunction, 2), lineMap),
      labels(options.mostLabelWarnings) {}

std::size_t outputReserve(std::size_t scriptSize) {
  // Four times the script in a 64-bit process, where address space is
  // plentiful and untouched room costs nothing else, so that few scripts
  // make the text move while it grows (most convert to about their own
  // size, chains nested deep to twice it, one-word lines to three times
  // it); twice the script in a 32-bit one.
  constexpr std::size_t kTimesScript = sizeof(void*) >= 8 ? 4 : 2;
  return kTimesScript * scriptSize + 4096;
}

void convertStretch(std::string_view stretch, const ConvertOptions& options, StretchRecord& record,
                    const std::function<void()>& gathered) {
  TableWriter& tables = record.tables;
  // Whole entries are handed on once enough of them have gathered; bytes
  // before that point never change again: the comma between entries is
  // written when the next one begins.
  // Without a taker, never.
  const auto nextGathered = [&] {
    return gathered ? record.gatheredAt + options.pieceSize : static_cast<std::size_t>(-1);
  };
  std::size_t gatherAt = nextGathered();
  // `source`: the line of the statement taken last.
  const auto handOnIfGathered = [&](std::string_view source) {
    if (tables.text().size() < gatherAt || tables.insideEntry()) return;
    record.read = static_cast<std::size_t>(source.data() - stretch.data()) + source.size();
    gathered();
    record.gatheredAt = tables.text().size();
    gatherAt = nextGathered();
  };
  WalkOptions walk;
  walk.describeTextChanges = options.describeTextChanges;
  const WalkEnd end = walkScript(
      stretch,
      SplitSink{[&](const Statement& statement) {
        if (!statement.warning.empty()) {
          record.warnings.push_back({statement.line, std::string(statement.warning)});
        }
        if (statement.kind == LineKind::label) {
          addLabel(record.labels, statement.name, statement.line);
          tables.open(statement.name, statement.line);
          handOnIfGathered(statement.source);
          return;
        }
        if (statement.nameKind == NameKind::variable) {
          const std::size_t known = nameCount(record.variables);
          addVariable(record.variables, statement.name);
          if (record.lineMap && nameCount(record.variables) != known) {
            record.variableLines.push_back(statement.line);
          }
        }
        if (statement.kind == LineKind::beforeLabels) return;
        if (statement.nameKind == NameKind::jumpTarget) addJump(record.labels, statement.name, statement.line);
        if (statement.textChanged) {
          ++record.textChanges;
          if (statement.textChange) {
            record.warnings.push_back(
                {statement.line, describeTextChange(*statement.textChange), WarningKind::textChange});
          }
        }
        tables.add(statement.lua, statement.line);
        handOnIfGathered(statement.source);
      },
      [&](const LuaStatement& lua, std::size_t line, std::string_view source) {
        tables.add(lua, line);
        handOnIfGathered(source);
      }},
      walk);
  tables.close();
  record.lines = end.lines;
  record.read = stretch.size();
  if (const std::optional<Warning> warning = beforeLabelsWarning(end)) {
    record.warnings.insert(record.warnings.begin(), *warning);
  }
}

void finishWarnings(const WholeFile& file, const LabelReferences& labels, std::vector<Warning>& warnings) {
  warnOfWholeFile(file, warnings);
  warnOfLabelProblems(labels, warnings);
}

}  // namespace brindle
