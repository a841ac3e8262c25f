#include "layout.h"

namespace brindle {
namespace {

constexpr std::string_view kGroupOpen = "(function() ";
constexpr std::string_view kGroupClose = " end)();";
// Appends the piece just closed to the table, then ends the `do` block that
// keeps `t` and `p` from the entries of the tables that follow. The entries
// of a piece cannot see them either: a local is in scope only after the
// statement that declares it. Core syntax only: the engine may lack the
// table library, and `#t` counts every entry since none is nil.
constexpr std::string_view kAppendPiece =
    " local n = #t; for i = 1, #p do t[n + i] = p[i] end end";

// The entries of each piece of a table filled in pieces: with its key, a
// piece fills a group.
std::size_t entriesPerPiece(std::size_t limit) { return limit - 1; }

}  // namespace

Layout chooseLayout(std::size_t items, std::size_t limit) {
  return items > limit ? Layout::grouped : Layout::flat;
}

bool surelyFlat(std::string_view script, std::size_t declarations, std::size_t limit) {
  if (declarations >= limit) return false;
  const std::size_t room = limit - declarations;
  std::size_t lines = 1;
  for (std::size_t at = script.find('\n'); at != std::string_view::npos;
       at = script.find('\n', at + 1)) {
    if (++lines > room) return false;
  }
  return true;
}

void appendDeclaration(std::string_view name, std::size_t index, std::size_t count,
                       Layout layout, std::size_t limit, std::string& out) {
  const bool grouped = layout == Layout::grouped;
  if (grouped && index % limit == 0) out.append(kGroupOpen);
  out.append(name).append(" = 0;");
  if (grouped && (index % limit == limit - 1 || index + 1 == count)) out.append(kGroupClose);
  out.push_back('\n');
}

void appendPieceBreak(std::string_view name, std::size_t index, std::size_t limit,
                      std::string& out) {
  out.append(" };");
  if (index > entriesPerPiece(limit)) out.append(kAppendPiece);
  out.append(kGroupClose).append(" ").append(kGroupOpen);
  out.append("do local t, p = LABELS[\"").append(name).append("\"], {");
}

void appendTableEnd(std::size_t entries, std::size_t limit, std::string& out) {
  out.append("\n};");
  if (entries > entriesPerPiece(limit)) out.append(kAppendPiece).append(kGroupClose);
}

std::size_t TableGrouper::handOn(std::string_view text, TableMarks& marks,
                                 const TextSink& sink) {
  const auto put = [&sink](std::string_view piece) {
    if (!piece.empty()) sink(piece);
  };
  std::size_t end = text.size();
  std::size_t from = 0;
  for (std::size_t k = 0; k < marks.tables.size() && layout_ == Layout::grouped; ++k) {
    TableMark& mark = marks.tables[k];
    if (mark.grouped) continue;
    const bool open = marks.lastOpen && k + 1 == marks.tables.size();
    const bool inPieces = mark.entries > entriesPerPiece(limit_);
    if (open && !inPieces) {
      end = mark.offset;  // it may yet fit into the open group, or not
      break;
    }
    mark.grouped = true;
    const std::size_t items = 1 + mark.entries;
    if (!inPieces && used_ != 0 && used_ + items <= limit_) {
      used_ += items;
      continue;
    }
    // The group opens on the table's key line, in place of nothing, so that
    // every line keeps its number; the one before closes on the line of "};".
    constexpr std::size_t kBlankLines = 2;
    put(text.substr(from, mark.offset - from));
    if (used_ != 0) put(kGroupClose);
    put(text.substr(mark.offset, kBlankLines));
    put(kGroupOpen);
    from = mark.offset + kBlankLines;
    used_ = inPieces ? 0 : items;
  }
  put(text.substr(from, end - from));

  if (marks.lastOpen) {
    TableMark open = marks.tables.back();
    open.offset = open.offset >= end ? open.offset - end : 0;
    marks.tables.assign(1, open);
  } else {
    marks.tables.clear();
  }
  return end;
}

void TableGrouper::finish(const TextSink& sink) {
  if (layout_ == Layout::grouped && used_ != 0) sink(kGroupClose);
  used_ = 0;
}

}  // namespace brindle
