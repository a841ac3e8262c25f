#include "layout.h"

#include <algorithm>
#include <bit>

#include "byte_vectors.h"
#include "output_texts.h"
#include "writer.h"

namespace brindle {
namespace {

// The entries of each piece of a table filled in pieces: with its key, a
// piece fills a group.
std::size_t entriesPerPiece(std::size_t mostItems) { return mostItems - 1; }

}  // namespace

Layout chooseLayout(std::size_t items, std::size_t mostItems) {
  return items > mostItems ? Layout::grouped : Layout::flat;
}

std::size_t linesUpTo(std::string_view script, std::size_t most) {
  // Line feeds are counted sixteen bytes at a time, each lane of `hits`
  // counting its own up to 255, in chunks whose line feeds cannot take the
  // count past `most`; then sixteen bytes at a time, counted at once; then
  // one by one. Lines are short: a call for each would cost more than the
  // count.
  constexpr std::size_t kChunk = 255 * kVectorBytes;
  std::size_t lines = 1;
  std::size_t at = 0;
  for (; script.size() - at >= kChunk && lines + kChunk < most; at += kChunk) {
    ByteVector hits = {};
    for (std::size_t k = at; k < at + kChunk; k += kVectorBytes) {
      ByteVector bytes;
      loadBytes(bytes, script.data() + k);
      hits -= reinterpret_cast<ByteVector>(bytes == static_cast<unsigned char>('\n'));  // a hit is all ones
    }
    for (std::size_t lane = 0; lane < kVectorBytes; ++lane) lines += hits[lane];
  }
  for (; script.size() - at >= kVectorBytes && lines + kVectorBytes < most; at += kVectorBytes) {
    ByteVector bytes;
    loadBytes(bytes, script.data() + at);
    lines += static_cast<std::size_t>(std::popcount(hitMask(bytes == static_cast<unsigned char>('\n'))));
  }
  for (; at < script.size() && lines < most; ++at) lines += script[at] == '\n';
  return std::min(lines, most);
}

bool surelyFlat(std::size_t lines, std::size_t declarations, std::size_t mostItems) {
  return declarations < mostItems && lines <= mostItems - declarations;
}

void appendDeclaration(std::string_view name, std::size_t index, std::size_t count,
                       Layout layout, std::size_t mostItems, TextBuffer& out) {
  const bool grouped = layout == Layout::grouped;
  if (grouped && index % mostItems == 0) out.append(kGroupOpen);
  appendName(out, name);
  out.append(kDeclarationEnd);
  if (grouped && (index % mostItems == mostItems - 1 || index + 1 == count)) out.append(kGroupClose);
  out.push_back('\n');
}

void appendPieceBreak(std::string_view name, std::size_t index, std::size_t mostItems,
                      TextBuffer& out) {
  out.append(kPieceEnd);
  if (index > entriesPerPiece(mostItems)) out.append(kAppendPiece);
  out.append(kGroupClose);
  out.push_back(' ');
  out.append(kGroupOpen);
  out.append(kPieceOpen);
  appendName(out, name);
  out.append(kPieceKeyEnd);
}

void appendTableEnd(std::size_t entries, std::size_t mostItems, TextBuffer& out) {
  out.append(kTableEnd);
  if (entries > entriesPerPiece(mostItems)) {
    out.append(kAppendPiece);
    out.append(kGroupClose);
  }
}

std::size_t TableGrouper::group(std::string_view text, TableMarks& marks, const PieceSink& sink) {
  const auto put = [&sink](std::string_view piece) {
    if (!piece.empty()) sink(piece);
  };
  std::size_t end = text.size();
  std::size_t from = 0;
  for (std::size_t k = 0; k < marks.tables.size() && layout_ == Layout::grouped; ++k) {
    TableMark& mark = marks.tables[k];
    if (mark.grouped) continue;
    const bool open = marks.lastOpen && k + 1 == marks.tables.size();
    const bool inPieces = mark.entries > entriesPerPiece(mostItems_);
    if (open && !inPieces) {
      end = mark.offset;  // it may yet fit into the open group, or not
      break;
    }
    mark.grouped = true;
    const std::size_t items = 1 + mark.entries;
    if (!inPieces && used_ != 0 && used_ + items <= mostItems_) {
      used_ += items;
      continue;
    }
    // The group opens on the table's key line, in place of nothing, so that
    // every line keeps its number; the one before closes on the line of "};".
    constexpr std::size_t kBlankLines = kTableLead.size();
    put(text.substr(from, mark.offset - from));
    if (used_ != 0) put(kGroupClose);
    put(text.substr(mark.offset, kBlankLines));
    put(kGroupOpen);
    from = mark.offset + kBlankLines;
    used_ = inPieces ? 0 : items;
  }
  put(text.substr(from, end - from));
  return end;
}

void TableGrouper::finish(const PieceSink& sink) {
  if (layout_ == Layout::grouped && used_ != 0) sink(kGroupClose);
  used_ = 0;
}

}  // namespace brindle
