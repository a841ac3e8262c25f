#include "story_map.h"

#include <algorithm>
#include <cstdint>

#include "chain.h"
#include "string_utils.h"
#include "walk.h"

namespace brindle {

namespace {

// The first slot to try for the pair, of `slots` (a power of two).
std::size_t slotOf(std::size_t from, std::size_t to, std::size_t slots) {
  std::uint64_t key = (static_cast<std::uint64_t>(from) << 32) ^ to;
  key *= 0x9E3779B97F4A7C15u;
  return static_cast<std::size_t>(key >> 32) & (slots - 1);
}

}  // namespace

std::size_t StoryMapBuilder::nameOf(std::string_view name) {
  const std::size_t n = addName(names_, name);
  if (n == facts_.size()) facts_.emplace_back();
  return n;
}

void StoryMapBuilder::label(std::string_view name, std::size_t line) {
  current_ = nameOf(name);
  Name& facts = facts_[current_];
  if (facts.defined) {
    redefined_ = true;
  } else {
    definedOrder_.push_back(current_);
  }
  facts.defined = true;
  facts.line = line;
  facts.entries = 0;
  if (first_ == kNoName) first_ = current_;
}

void StoryMapBuilder::entries(std::size_t count) {
  if (current_ != kNoName) facts_[current_].entries = count;
}

void StoryMapBuilder::jump(std::string_view target, std::size_t line) {
  if (current_ == kNoName) return;
  const std::size_t to = nameOf(target);
  Name& facts = facts_[to];
  if (!facts.reached && !facts.defined) facts.line = line;
  facts.reached = true;
  ++pairOf(current_, to, line).count;
}

StoryMapBuilder::Pair& StoryMapBuilder::pairOf(std::size_t from, std::size_t to, std::size_t line) {
  if (2 * (pairs_.size() + 1) > pairSlots_.size()) {
    pairSlots_.assign(std::max<std::size_t>(16, 2 * pairSlots_.size()), 0);
    for (std::size_t k = 0; k < pairs_.size(); ++k) {
      std::size_t slot = slotOf(pairs_[k].from, pairs_[k].to, pairSlots_.size());
      while (pairSlots_[slot] != 0) slot = (slot + 1) & (pairSlots_.size() - 1);
      pairSlots_[slot] = k + 1;
    }
  }
  std::size_t slot = slotOf(from, to, pairSlots_.size());
  while (pairSlots_[slot] != 0) {
    Pair& pair = pairs_[pairSlots_[slot] - 1];
    if (pair.from == from && pair.to == to) return pair;
    slot = (slot + 1) & (pairSlots_.size() - 1);
  }
  pairs_.push_back({from, to, 0, line});
  pairSlots_[slot] = pairs_.size();
  return pairs_.back();
}

StoryMap StoryMapBuilder::finish() {
  // A label defined again stands where it is shown, at its later line.
  if (redefined_) {
    std::stable_sort(definedOrder_.begin(), definedOrder_.end(),
                     [&](std::size_t a, std::size_t b) { return facts_[a].line < facts_[b].line; });
  }
  std::vector<std::size_t> order = definedOrder_;
  for (std::size_t n = 0; n < facts_.size(); ++n) {
    if (!facts_[n].defined) order.push_back(n);
  }
  std::vector<std::size_t> nodeOf(facts_.size());
  StoryMap map;
  map.nodes.reserve(order.size());
  for (const std::size_t n : order) {
    const Name& facts = facts_[n];
    nodeOf[n] = map.nodes.size();
    map.nodes.push_back({std::string(nameAt(names_, n)), facts.line, facts.entries, n == first_,
                         facts.reached || n == first_, facts.defined});
  }
  map.edges.reserve(pairs_.size());
  for (const Pair& pair : pairs_) map.edges.push_back({nodeOf[pair.from], nodeOf[pair.to], pair.count, pair.line});
  return map;
}

StoryMap storyMapOf(std::string_view script) {
  StoryMapBuilder builder;
  EntryCounter counter;
  WalkOptions options;
  options.textChanges = false;
  walkScript(
      script,
      [&](const Statement& statement) {
        if (statement.kind == LineKind::label) {
          builder.entries(counter.entries());
          builder.label(statement.name, statement.line);
          counter = {};
          return;
        }
        if (statement.kind == LineKind::beforeLabels) return;
        counter.add(statement.lua);
        if (statement.nameKind == NameKind::jumpTarget) builder.jump(statement.name, statement.line);
      },
      options);
  builder.entries(counter.entries());
  return builder.finish();
}

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Appends `name` for a double-quoted DOT string: `"` and `\` escaped, and
// each byte that is no part of a UTF-8 character, or a control byte, as
// `ofByte` writes it.
template <typename OfByte>
void appendQuoted(std::string& out, std::string_view name, OfByte&& ofByte) {
  out.push_back('"');
  for (std::size_t at = 0; at < name.size();) {
    const auto byte = static_cast<unsigned char>(name[at]);
    const std::size_t length = utf8CharacterAt(name, at);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      ofByte(out, byte);
      ++at;
      continue;
    }
    if (byte == '"' || byte == '\\') out.push_back('\\');
    out.append(name.substr(at, length));
    at += length;
  }
  out.push_back('"');
}

// The node's id: the name, each odd byte spelled `\xHH`, which no other
// name's id spells (a backslash of the name is doubled), so that two names
// stay two nodes.
void appendId(std::string& out, std::string_view name) {
  appendQuoted(out, name, [](std::string& to, unsigned char byte) {
    constexpr char kHex[] = "0123456789ABCDEF";
    to.append("\\x").push_back(kHex[byte >> 4]);
    to.push_back(kHex[byte & 0xF]);
  });
}

// The name as the node shows it: each odd byte a replacement character.
void appendShown(std::string& out, std::string_view name) {
  appendQuoted(out, name, [](std::string& to, unsigned char) { to.append(kReplacement); });
}

}  // namespace

std::string mapDot(const StoryMap& map) {
  std::string out = "digraph story {\n  node [shape=box];\n";
  for (const MapNode& node : map.nodes) {
    out.append("  ");
    appendId(out, node.name);
    out.append(" [label=");
    appendShown(out, node.name);
    out.pop_back();  // the closing quote: the label goes on
    if (node.defined) {
      out.append("\\nline ").append(std::to_string(node.line)).append(", ").append(std::to_string(node.entries));
      out.append(node.entries == 1 ? " entry\"" : " entries\"");
    } else {
      out.append("\\nnot defined\", shape=octagon, style=dashed, color=red, fontcolor=red");
    }
    if (node.start) out.append(", peripheries=2");
    if (node.defined && !node.reached) out.append(", style=dashed, color=gray50, fontcolor=gray50");
    out.append("];\n");
  }
  for (const MapEdge& edge : map.edges) {
    out.append("  ");
    appendId(out, map.nodes[edge.from].name);
    out.append(" -> ");
    appendId(out, map.nodes[edge.to].name);
    if (edge.count > 1) out.append(" [label=\"").append(std::to_string(edge.count)).append(" jumps\"]");
    out.append(";\n");
  }
  out.append("}\n");
  return out;
}

}  // namespace brindle
