// The conversion of a stretch of a script's lines, read once by the walk: its
// label tables written as the statements arrive, and beside them its
// variables, what it says of its labels, its warnings and the statements
// whose quoted texts change, all in one record. A whole script is one
// stretch or several, merged in order (parts.h), and its Lua text is written
// from the records (writer.h). No file I/O; a conversion keeps no state
// beyond its call, and conversions of different inputs may run on different
// threads at once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "decode.h"
#include "labels.h"
#include "layout.h"
#include "line_map.h"
#include "names.h"
#include "records.h"
#include "writer.h"

namespace brindle {

// The label problems brindle warns of, of each kind; one more warning counts
// the rest, which brindle-check lists. A script of a million repeated labels
// then costs no million messages.
inline constexpr std::size_t kMostLabelWarnings = 100;

struct ConvertOptions {
  // The text gathered is handed on once it is this long and a whole entry
  // has been written.
  std::size_t pieceSize = std::size_t{1} << 20;
  // The most items one Lua function of the text holds (see layout.h), at
  // least 2; a smaller one lets tests see the grouped layout in small
  // scripts, and the largest keeps any text flat.
  std::size_t mostItemsPerFunction = kMostItemsPerFunction;
  // The label problems of each kind that are warned of one by one.
  std::size_t mostLabelWarnings = kMostLabelWarnings;
  // Whether each statement whose quoted text the conversion changes gets a
  // warning of kind textChange; they are counted either way.
  bool describeTextChanges = false;
};

// What converting a stretch of lines gives. Lines count from 1 at the
// stretch's start. Its tables announce their entries in `console` ("nadas"
// for each entry of a table named "R28") and report their lines in
// `lineMap`, if given; both belong to the caller, so a record stays where
// it was made.
struct StretchRecord {
  StretchRecord(const ConvertOptions& options, std::string& console, LineMap* lineMap = nullptr);
  StretchRecord(const StretchRecord&) = delete;
  StretchRecord& operator=(const StretchRecord&) = delete;

  LineMap* const lineMap;
  TableWriter tables;
  NameTable variables;                     // in first-seen order
  std::vector<std::size_t> variableLines;  // where each is first set, with a line map
  LabelReferences labels;
  std::vector<Warning> warnings;  // in line order; those of the whole script come later
  std::size_t textChanges = 0;    // statements whose quoted texts change
  std::size_t lines = 0;          // one more than the line feeds
  std::size_t read = 0;           // the bytes of the stretch read so far
  std::size_t gatheredAt = 0;     // the size of the tables' text when `gathered` last returned
};

// Converts the lines of `stretch` into `record`, calling `gathered` whenever
// whole entries are held in its tables and their text has grown by at least
// options.pieceSize bytes since the last call returned (or since the start).
void convertStretch(std::string_view stretch, const ConvertOptions& options, StretchRecord& record,
                    const std::function<void()>& gathered = {});

// The room to reserve for the Lua text of a script of `scriptSize` bytes.
std::size_t outputReserve(std::size_t scriptSize);

// The last steps of the warnings about a whole script, whose lines' own are
// in `warnings`, in line order: those about the file as a whole (`file`, as
// decode.h tells) go first, then those about its labels join them in line
// order (see labels.h).
void finishWarnings(const WholeFile& file, const LabelReferences& labels, std::vector<Warning>& warnings);

}  // namespace brindle
