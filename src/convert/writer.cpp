#include "writer.h"

#include "large_buffer.h"
#include "output_texts.h"
#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

constexpr std::size_t lineFeedsIn(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += c == '\n';
  return count;
}

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

void TableWriter::reserve(std::size_t bytes) { reserveLargeBuffer(text_, bytes); }

void TableWriter::open(std::string_view name, std::size_t line) {
  close();
  if (markTables_) {
    marks_.tables.push_back({text_.size(), 0, false});
    marks_.lastOpen = true;
    countItem();
  }
  text_.append(kTableOpen).append(name).append(kTableKeyEnd);
  beginLine(lines_, line, LuaLineRole::tableSpace);
  beginLine(lines_, line, LuaLineRole::tableKey);
  open_ = true;
  announces_ = name == kAnnouncingLabel;
  name_.assign(name);
  entries_ = 0;
}

void TableWriter::add(const ScriptLine& statement, std::size_t line) {
  if (chain_.isOpen()) {
    if (chain_.add(statement, line)) return;
    endEntry();  // the statement ended the chain, which is now closed
  }
  beginEntry(line);
  if (statement.chainFlag == ChainFlag::opensChain) {
    chain_.open(statement, line);
    return;
  }
  text_.append(statement.text);
  endEntry();
}

void TableWriter::close() {
  if (!open_) return;
  if (chain_.isOpen()) {
    chain_.closeAll();
    endEntry();
  }
  appendTableEnd(entries_, mostItems_, text_);
  beginClosingLine(lines_, LuaLineRole::tableEnd);
  if (markTables_) marks_.lastOpen = false;
  open_ = false;
}

void TableWriter::pass() {
  callPathEnds(text_, passed_, markTables_ ? &marks_ : nullptr);
  passed_ = text_.size();
}

void TableWriter::drop(std::size_t bytes) {
  if (bytes == text_.size()) {
    text_.clear();  // the room stays, for what is written next
  } else {
    text_.erase(0, bytes);
  }
  passed_ = passed_ > bytes ? passed_ - bytes : 0;
  if (marks_.lastOpen) {
    TableMark open = marks_.tables.back();
    open.offset = open.offset >= bytes ? open.offset - bytes : 0;
    marks_.tables.assign(1, open);
  } else {
    marks_.tables.clear();
  }
}

// Announces an entry and writes its opening. What stands between two
// entries goes in when the second begins, right behind the first one's
// "; end", where it would stand if written with it.
void TableWriter::beginEntry(std::size_t line) {
  if (announces_) console_.append(kAnnouncement);
  if (entries_ == 0) {
    text_.append(kEntryOpen);
  } else if (!startsPiece(entries_, mostItems_)) {
    text_.append(kNextEntryOpen);
  } else {
    appendPieceBreak(name_, entries_, mostItems_, text_);
    text_.append(kEntryOpen);
  }
  beginLine(lines_, line, LuaLineRole::entry);
  ++entries_;
  if (markTables_) {
    if (entries_ <= UINT32_MAX) marks_.tables.back().entries = static_cast<std::uint32_t>(entries_);
    countItem();
  }
}

// One thread writes the count; a plain increment, not a locked one, is enough.
void TableWriter::countItem() {
  marks_.items.store(marks_.items.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void TableWriter::endEntry() { text_.append(kEntryClose); }

LuaWriter::LuaWriter(NameTable variables, std::vector<std::size_t> variableLines, std::string& out,
                     const LuaSink& sink, std::size_t mostItems, std::size_t pieceSize,
                     LineMap* lines)
    : variables_(std::move(variables)), variableLines_(std::move(variableLines)), out_(out),
      sink_(sink), mostItems_(mostItems), pieceSize_(pieceSize), lines_(lines) {}

Layout LuaWriter::layoutFor(std::size_t tableItems) const {
  return chooseLayout(nameCount(variables_) + tableItems, mostItems_);
}

void LuaWriter::begin(Layout layout) {
  grouper_.emplace(layout, mostItems_);
  const std::size_t count = nameCount(variables_);
  if (lines_) {
    // One entry per line begun: the header's, each declaration's, and those
    // of the end of the declarations, the last of which the tables go on.
    constexpr std::size_t kHeaderLines = lineFeedsIn(kLuaHeader);
    std::vector<LuaLine> before(kHeaderLines + count + 1 + lineFeedsIn(kDeclarationsEnd));
    for (std::size_t k = 0; k < count; ++k) {
      before[kHeaderLines + k] = {k < variableLines_.size() ? variableLines_[k] : 0,
                                  LuaLineRole::declaration};
    }
    lines_->lines.insert(lines_->lines.begin(), before.begin(), before.end());
  }
  out_.append(kLuaHeader);
  for (std::size_t k = 0; k < count; ++k) {
    appendDeclaration(nameAt(variables_, k), k, count, layout, mostItems_, out_);
    if (out_.size() - passed_ >= pieceSize_) flushOwn();
  }
  variables_ = NameTable();
  variableLines_ = std::vector<std::size_t>();
  out_.append(kDeclarationsEnd);
  if (out_.size() - passed_ >= pieceSize_) flushOwn();
}

void LuaWriter::take(TableWriter& tables, std::size_t tableItems) {
  tables.pass();
  if (!begun()) {
    if (layoutFor(tableItems) == Layout::flat) return;  // it may stay flat: kept
    begin(Layout::grouped);
  }
  tables.drop(grouper_->group(tables.text(), tables.marks(),
                              [this](std::string_view piece) { handOn(piece); }));
}

void LuaWriter::finish() {
  grouper_->finish([this](std::string_view piece) { handOn(piece); });
  flushOwn();
}

// The pieces of tables have had their pass, and the layout's own texts need
// none; what this writer wrote itself goes first.
void LuaWriter::handOn(std::string_view piece) {
  if (!sink_) {
    callPathEnds(out_, passed_);
    out_.append(piece);
    passed_ = out_.size();
    return;
  }
  flushOwn();
  if (accepted_ && !piece.empty()) accepted_ = sink_(piece);
}

void LuaWriter::flushOwn() {
  callPathEnds(out_, passed_);
  passed_ = out_.size();
  if (!sink_) return;
  if (accepted_ && !out_.empty()) accepted_ = sink_(out_);
  out_.clear();
  passed_ = 0;
}

}  // namespace brindle
