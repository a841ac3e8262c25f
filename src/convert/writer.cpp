#include "writer.h"

#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

constexpr std::string_view kEntryOpen = "\n\tfunction() ";
constexpr std::string_view kNextEntryOpen = ",\n\tfunction() ";
constexpr std::string_view kEntryClose = "; end";
constexpr std::string_view kPathEndCall = "path_end();";

}  // namespace

void callPathEnds(std::string& text, std::size_t from, TableMarks* marks) {
  const std::size_t hit = findText(text, kPathEndStatement, from);
  if (hit == std::string::npos) return;
  if (marks) {
    // No occurrence spans a table's opening; each before it moves it by the
    // bytes the call adds. Only the tables behind the first one move, the
    // last ones recorded, so the search for them starts from the end.
    constexpr std::size_t kGrowth = kPathEndCall.size() - kPathEndStatement.size();
    std::vector<TableMark>& tables = marks->tables;
    std::size_t first = tables.size();
    while (first > 0 && tables[first - 1].offset >= hit) --first;
    std::size_t found = 0;
    std::size_t next = hit;
    for (std::size_t k = first; k < tables.size(); ++k) {
      while (next < tables[k].offset) {
        ++found;
        next = findText(text, kPathEndStatement, next + kPathEndStatement.size());
      }
      tables[k].offset += kGrowth * found;
    }
  }
  std::string rest(text, hit);
  text.resize(hit);
  replaceAll(rest, kPathEndStatement, kPathEndCall);
  text.append(rest);
}

void endDeclarations(std::string& out) { out.append("\n\n"); }

void TableWriter::open(std::string_view name) {
  close();
  if (marks_) {
    marks_->tables.push_back({out_.size(), 0, false});
    marks_->lastOpen = true;
    countItem();
  }
  out_.append("\n\nLABELS[\"").append(name).append("\"] = {");
  open_ = true;
  announces_ = name == "R28";
  name_.assign(name);
  entries_ = 0;
}

void TableWriter::add(const ScriptLine& statement) {
  if (chain_.isOpen()) {
    if (chain_.add(statement)) return;
    endEntry();  // the statement ended the chain, which is now closed
  }
  beginEntry();
  if (statement.chainFlag == ChainRole::opensChain) {
    chain_.open(statement);
    return;
  }
  out_.append(statement.text);
  endEntry();
}

void TableWriter::close() {
  if (!open_) return;
  if (chain_.isOpen()) {
    chain_.closeAll();
    endEntry();
  }
  appendTableEnd(entries_, limit_, out_);
  if (marks_) marks_->lastOpen = false;
  open_ = false;
}

// Announces an entry and writes its opening. What stands between two
// entries goes in when the second begins, right behind the first one's
// "; end", where it would stand if written with it.
void TableWriter::beginEntry() {
  if (announces_) console_.append("nadas");
  if (entries_ == 0) {
    out_.append(kEntryOpen);
  } else if (!startsPiece(entries_, limit_)) {
    out_.append(kNextEntryOpen);
  } else {
    appendPieceBreak(name_, entries_, limit_, out_);
    out_.append(kEntryOpen);
  }
  ++entries_;
  if (marks_) {
    if (entries_ <= UINT32_MAX) {
      marks_->tables.back().entries = static_cast<std::uint32_t>(entries_);
    }
    countItem();
  }
}

// One thread writes the count; a plain increment, not a locked one, is enough.
void TableWriter::countItem() {
  marks_->items.store(marks_->items.load(std::memory_order_relaxed) + 1,
                      std::memory_order_relaxed);
}

void TableWriter::endEntry() { out_.append(kEntryClose); }

std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks,
                           const VariableNames& variableNames, std::string& console,
                           std::size_t limit) {
  std::string text;
  TableMarks marks;
  TableWriter tables(text, console, limit, &marks);
  for (const LabelBlock& block : labelBlocks) {
    tables.open(block.name);
    for (const ScriptLine& line : block.lines) tables.add(line);
  }
  tables.close();

  const std::size_t count = variableCount(variableNames);
  const Layout layout = chooseLayout(count + marks.items.load(), limit);
  std::string out(kLuaHeader);
  for (std::size_t k = 0; k < count; ++k) {
    appendDeclaration(variableName(variableNames, k), k, count, layout, limit, out);
  }
  endDeclarations(out);
  TableGrouper grouper(layout, limit);
  const TextSink append = [&out](std::string_view piece) { out.append(piece); };
  grouper.handOn(text, marks, append);
  grouper.finish(append);
  callPathEnds(out);
  return out;
}

}  // namespace brindle
