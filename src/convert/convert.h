// The conversion of a whole script, read top to bottom: the variables are
// found first, since their declarations open the text; the lines are walked,
// rewritten and written as label tables; the layout is chosen (the tables
// wait while their count may still leave the text flat); the text is handed
// on in order; the warnings are collected. No file I/O; a conversion keeps
// no state beyond its call, and conversions of different inputs may run on
// different threads at once. Large scripts are converted in parts by the
// layer of parts.h, which is built of the steps below.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "labels.h"
#include "layout.h"
#include "line_map.h"
#include "records.h"
#include "walk.h"
#include "writer.h"

namespace brindle {

// The label problems brindle warns of, of each kind; one more warning counts
// the rest, which brindle-check lists. A script of a million repeated labels
// then costs no million messages.
inline constexpr std::size_t kMostLabelWarnings = 100;

struct Conversion {
  std::string lua;      // the text for output.lua, or what of it is not yet handed on
  std::string console;  // what goes to standard output
  std::vector<Warning> warnings;
  // How many statements have a quoted text that the conversion changes.
  std::size_t textChanges = 0;
};

struct ConvertOptions {
  // The text gathered is handed to the sink once it is this long and a whole
  // entry has been written.
  std::size_t pieceSize = std::size_t{1} << 20;
  // The most items one Lua function of the text holds (see layout.h), at
  // least 2; a smaller one lets tests see the grouped layout in small
  // scripts, and the largest keeps any text flat.
  std::size_t mostItemsPerFunction = kMostItemsPerFunction;
  // The label problems of each kind that are warned of one by one.
  std::size_t mostLabelWarnings = kMostLabelWarnings;
  // Where to report what each line of the text is, if anywhere.
  LineMap* lineMap = nullptr;
  // Whether each statement whose quoted text the conversion changes gets a
  // warning of kind textChange; they are counted either way.
  bool describeTextChanges = false;
};

// Converts `script`, the text that scriptText (decode.h) finds in a file.
// With a sink, the text goes to it piece by piece and result.lua holds only
// what is not yet handed on; without one, the whole text gathers in
// result.lua. Returns false when the sink refused a piece; the conversion
// still runs to its end, so that the console text and the warnings are
// complete. Throws std::bad_alloc when memory runs out; `result.console`
// then holds what was announced before.
bool convertText(std::string_view script, Conversion& result, const LuaSink& sink = {},
                 const ConvertOptions& options = {});

// The steps of a conversion that the layer of parts repeats for each part.

// The room to reserve for the Lua text of a script of `scriptSize` bytes.
std::size_t outputReserve(std::size_t scriptSize);

// What converting a stretch of lines finds besides its tables: warnings and
// label references name lines counted from 1 at the stretch's start.
struct StretchFindings {
  std::vector<Warning>& warnings;
  LabelReferences& labels;
  TextChanges& textChanges;
};

// Converts the lines of `stretch` into label tables written by `tables`,
// calling `handOn` whenever a piece's worth of whole entries has gathered
// there. Variables are not recorded: they were found before. Returns the
// number of lines of `stretch`.
std::size_t convertLines(std::string_view stretch, TableWriter& tables, std::size_t pieceSize,
                         const StretchFindings& findings, const std::function<void()>& handOn);

}  // namespace brindle
