#include "writer.h"

#include <algorithm>
#include <cstring>

#include "output_texts.h"
#include "rewrite.h"
#include "triggers.h"

namespace brindle {

void appendName(TextBuffer& out, std::string_view name) {
  if (name.empty() || std::memchr(name.data(), kPathEndStatement.back(), name.size()) == nullptr) {
    out.append(name);
    return;
  }
  std::string called(name);
  callPathEnds(called);
  out.append(called);
}

void TableWriter::reserve(std::size_t bytes) { text_.reserve(bytes); }

void TableWriter::open(std::string_view name, std::size_t line) {
  close();
  marks_.tables.push_back({text_.size(), 0, false});
  marks_.lastOpen = true;
  ++marks_.items;
  text_.append(kTableOpen);
  appendName(text_, name);
  text_.append(kTableKeyEnd);
  beginLine(lines_, line, LuaLineRole::tableSpace);
  beginLine(lines_, line, LuaLineRole::tableKey);
  open_ = true;
  announces_ = name == kAnnouncingLabel;
  name_.assign(name);
  entries_ = 0;
}

void TableWriter::close() {
  if (!open_) return;
  if (chain_.isOpen()) {
    chain_.closeAll();
    endEntry();
  }
  appendTableEnd(entries_, mostItems_, text_);
  beginClosingLine(lines_, LuaLineRole::tableEnd, 0, lastWasChain_ ? chain_.chainLine() : SIZE_MAX);
  lastWasChain_ = false;
  marks_.lastOpen = false;
  open_ = false;
}

void TableWriter::drop(std::size_t bytes) {
  text_.dropFront(bytes);  // the room stays, for what is written next
  if (marks_.lastOpen) {
    TableMark open = marks_.tables.back();
    open.offset = open.offset >= bytes ? open.offset - bytes : 0;
    marks_.tables.assign(1, open);
  } else {
    marks_.tables.clear();
  }
}

void appendDeclarationLines(const NameTable& variables, const std::vector<std::size_t>& variableLines,
                            TextBuffer& out, LineMap& lines) {
  for (std::size_t k = 0; k < nameCount(variables); ++k) {
    out.push_back('\n');
    beginLine(&lines, k < variableLines.size() ? variableLines[k] : 0, LuaLineRole::declaration);
    appendName(out, nameAt(variables, k));
    out.append(kDeclarationEnd);
  }
}

std::size_t lineFeedsBeforeTables(std::size_t declarations) {
  const auto lineFeeds = [](std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  };
  return lineFeeds(kLuaHeader) + declarations + lineFeeds(kDeclarationsEnd);
}

namespace {

// Appends the header and the declarations of `variables` in `layout`,
// calling `filled` whenever `out` holds `pieceSize` bytes or more.
template <typename Filled>
void appendBeginning(Layout layout, const NameTable& variables, std::size_t mostItems,
                     std::size_t pieceSize, TextBuffer& out, const Filled& filled) {
  out.append(kLuaHeader);
  const std::size_t count = nameCount(variables);
  for (std::size_t k = 0; k < count; ++k) {
    appendDeclaration(nameAt(variables, k), k, count, layout, mostItems, out);
    if (out.size() >= pieceSize) filled();
  }
  out.append(kDeclarationsEnd);
  if (out.size() >= pieceSize) filled();
}

}  // namespace

void LuaWriter::begin(Layout layout, const NameTable& variables) {
  grouper_.emplace(layout, mostItems_);
  appendBeginning(layout, variables, mostItems_, pieceSize_, own_, [this] { flushOwn(); });
  beginning_ = given_ + own_.size();
}

void LuaWriter::take(TableWriter& tables) {
  tables.drop(grouper_->group(tables.text(), tables.marks(),
                              [this](std::string_view piece) { handOn(piece); }));
}

void LuaWriter::takeKeeping(const TableWriter& tables) {
  TableMarks marks = tables.marks();  // the grouper marks what it has grouped
  grouper_->group(tables.text(), marks, [this](std::string_view piece) { handOn(piece); });
}

void LuaWriter::startOver(const LuaRestart& restart) {
  grouper_.reset();
  own_.clear();
  out_.clear();
  if (accepted_ && sink_) accepted_ = restart(given_, {});
  given_ = 0;
}

void LuaWriter::redeclare(const NameTable& variables, const LuaRestart& restart) {
  flushOwn();
  // Whole, for the sink to put in place at once.
  TextBuffer beginning;
  appendBeginning(grouper_->layout(), variables, mostItems_, SIZE_MAX, beginning, [] {});
  if (accepted_ && sink_) accepted_ = restart(beginning_, beginning.view());
  given_ += beginning.size() - beginning_;
  beginning_ = beginning.size();
}

void LuaWriter::finish() {
  grouper_->finish([this](std::string_view piece) { handOn(piece); });
  flushOwn();
}

// What this writer wrote itself goes first.
void LuaWriter::handOn(std::string_view piece) {
  flushOwn();
  give(piece);
}

void LuaWriter::flushOwn() {
  give(own_.view());
  own_.clear();
}

void LuaWriter::give(std::string_view piece) {
  if (piece.empty()) return;
  given_ += piece.size();
  if (!sink_) {
    out_.append(piece);
  } else if (accepted_) {
    accepted_ = sink_(piece);
  }
}

}  // namespace brindle
