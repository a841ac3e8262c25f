// The story's map: its labels and the jump_outs between them, as brindle-check
// --map draws it and the language server's brindle.map gives it. A
// StoryMapBuilder is told the labels and jumps in script order, from
// whatever read them (the walk, or the server's pieces), and makes the one
// StoryMap both show, so that they cannot differ. Names are bytes. Plain
// values and functions; one thread uses a builder at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"

namespace brindle {

struct MapNode {
  std::string name;
  // A defined label's last definition, whose table Lua keeps, and its
  // entries; a target no label defines: its first jump, and no entries.
  std::size_t line = 0;
  std::size_t entries = 0;
  bool start = false;    // the script's first label
  bool reached = false;  // some jump_out names it; the start counts as reached
  bool defined = false;
};

// The jump_outs of label `from` to label `to` (indices into the nodes).
struct MapEdge {
  std::size_t from = 0;
  std::size_t to = 0;
  std::size_t count = 0;
  std::size_t line = 0;  // of the first of them
};

// The defined labels in the order of the lines shown, then the targets no
// label defines in the order of their first jumps; the edges in the order
// of their first jumps.
struct StoryMap {
  std::vector<MapNode> nodes;
  std::vector<MapEdge> edges;
};

class StoryMapBuilder {
 public:
  // Room for `names` labels and targets, where the caller knows how many.
  explicit StoryMapBuilder(std::size_t names = 0) { reserveNames(names_, names); }
  // A `label` statement at `line`: the jumps from here on are its. A label
  // defined again is one node, at its later line: its table replaces the
  // earlier one in Lua, but the jumps of both stay the label's.
  void label(std::string_view name, std::size_t line);
  // The entries of the label given last.
  void entries(std::size_t count);
  // A jump_out at `line` to `target`, in the label given last. Jumps before
  // the first label belong to no table and never run: they are not given.
  void jump(std::string_view target, std::size_t line);
  StoryMap finish();

 private:
  struct Name {
    std::size_t line = 0;  // its last definition, or its first jump
    std::size_t entries = 0;
    bool defined = false;
    bool reached = false;
  };
  struct Pair {
    std::size_t from = 0;  // names
    std::size_t to = 0;
    std::size_t count = 0;
    std::size_t line = 0;
  };

  std::size_t nameOf(std::string_view name);
  // The pair of jumps from `from` to `to`, added with no jumps where new.
  Pair& pairOf(std::size_t from, std::size_t to, std::size_t line);

  NameTable names_;                        // labels and targets, in first-seen order
  std::vector<Name> facts_;                // by name
  std::vector<std::size_t> definedOrder_;  // the labels, in the order first defined
  std::vector<Pair> pairs_;
  // Open addressing by (from, to): each slot 0 or a pair's index + 1; a
  // power of two long, at most half full.
  std::vector<std::size_t> pairSlots_;
  std::size_t current_ = kNoName;       // the label given last
  std::size_t first_ = kNoName;
  bool redefined_ = false;
};

// The map of `script`, from one walk of it.
StoryMap storyMapOf(std::string_view script);

// The map as a Graphviz digraph, in UTF-8 whatever the names' bytes: a box
// per label with its name, line and entries, the start's border doubled, a
// label no jump reaches dashed and grey, a target no label defines a red
// dashed octagon; an arrow per pair of labels, with its count of jumps
// where there is more than one.
std::string mapDot(const StoryMap& map);

}  // namespace brindle
