#include "script_generator.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace brindle::bench {
namespace {

// splitmix64: tiny, fast, and the same sequence on every platform, unlike the
// standard distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, bound).
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  bool percent(std::size_t chance) { return below(100) < chance; }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) { return items[below(N)]; }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 48> kWords = {
    "the",    "a",       "you",     "I",        "we",       "it",      "was",
    "is",     "not",     "here",    "there",    "ferry",    "market",  "lantern",
    "river",  "night",   "morning", "coins",    "letter",   "door",    "quiet",
    "maybe",  "never",   "always",  "really",   "think",    "know",    "want",
    "remember", "forgot", "again",  "tomorrow", "together", "strange", "warm",
    "café",   "naïve",   "déjà",    "vu",       "Привет",   "друг",    "こんにちは",
    "先生",    "über",    "façade",  "señor",    "Ελλάδα",   "—"};
constexpr std::array<std::string_view, 5> kSpeakers = {"e", "m", "s", "n", "mc"};
constexpr std::array<std::string_view, 12> kVariableStems = {
    "coins", "trust", "mood",   "day",     "seen_lake", "has_key",
    "score", "route", "health", "visited", "affection", "clue"};
constexpr std::array<std::string_view, 6> kComparisons = {" > ", " < ", " == ", " >= ", " <= ", " != "};
constexpr std::array<std::string_view, 8> kFunctions = {
    "show_text", "play_sound", "show_bg", "hide", "fade", "wait", "shake", "flash"};
constexpr std::size_t kVariables = 300;
constexpr std::size_t kLabelTargets = 2000;

// How a story names the variables of its `$` lines.
enum class Names {
  kPool,   // every variable comes from a pool of kVariables names
  kFresh,  // every assignment and update names a new variable; conditions
           // test one of the last kRecentNames new ones
};
constexpr std::size_t kRecentNames = 64;

class StoryWriter {
 public:
  StoryWriter(std::uint64_t seed, Names names) : random_(seed), names_(names) {}

  std::string write(std::size_t bytes) {
    out_.reserve(bytes + 4096);
    for (std::size_t label = 0; out_.size() < bytes; ++label) writeLabel(label);
    return std::move(out_);
  }

 private:
  void indent(std::size_t level) { out_.append(4 * level, ' '); }

  void variable() {
    if (names_ == Names::kFresh && fresh_ > 0) {
      return freshName(fresh_ - 1 - random_.below(std::min(fresh_, kRecentNames)));
    }
    const std::size_t index = random_.below(kVariables);
    out_.append(kVariableStems[index % kVariableStems.size()]);
    if (index >= kVariableStems.size()) out_.append("_").append(std::to_string(index / kVariableStems.size()));
  }

  // The variable a `$` line sets: from the pool, or the next new name.
  void assignedVariable() {
    if (names_ == Names::kFresh) return freshName(fresh_++);
    variable();
  }

  // Stem, "_n" and the number: the "n" keeps these apart from the pool's
  // names, whose suffixes are digits only.
  void freshName(std::size_t index) {
    out_.append(kVariableStems[index % kVariableStems.size()])
        .append("_n")
        .append(std::to_string(index));
  }

  void number() { out_.append(std::to_string(random_.below(random_.percent(80) ? 10 : 1000))); }

  void label(std::size_t index) { out_.append("scene_").append(std::to_string(index)); }

  void dialogue(std::size_t level) {
    indent(level);
    out_.append(random_.pick(kSpeakers)).append(" \"");
    const std::size_t words = 5 + random_.below(8);
    for (std::size_t i = 0; i < words; ++i) {
      if (i > 0) out_.push_back(' ');
      out_.append(random_.pick(kWords));
    }
    out_.append(random_.percent(20) ? "?\"\n" : ".\"\n");
  }

  void assignment(std::size_t level) {
    indent(level);
    out_.append("$ ");
    assignedVariable();
    switch (random_.below(4)) {
      case 0: out_.append(" = True\n"); return;
      case 1: out_.append(" = False\n"); return;
      default: out_.append(" = "); number(); out_.push_back('\n'); return;
    }
  }

  void update(std::size_t level) {
    indent(level);
    out_.append("$ ");
    assignedVariable();
    out_.append(random_.percent(70) ? " += " : " -= ");
    number();
    out_.push_back('\n');
  }

  void call(std::size_t level) {
    indent(level);
    out_.append("call ").append(random_.pick(kFunctions)).append(" (");
    if (random_.percent(15)) {
      out_.append(random_.percent(50) ? "is_h=True" : "is_end=False");
    } else {
      number();
    }
    out_.append(")\n");
  }

  void jump(std::size_t level) {
    indent(level);
    out_.append("jump_out ");
    label(random_.below(kLabelTargets));
    out_.push_back('\n');
  }

  void condition() {
    variable();
    out_.append(random_.pick(kComparisons));
    number();
  }

  // An if/elif/else chain whose bodies hold simple statements and, while
  // `depth` allows, chains of their own.
  void chain(std::size_t level, std::size_t depth) {
    indent(level);
    out_.append("if ");
    condition();
    out_.append(":\n");
    body(level + 1, depth);
    const std::size_t elifs = random_.percent(40) ? 1 + random_.below(2) : 0;
    for (std::size_t i = 0; i < elifs; ++i) {
      indent(level);
      out_.append("elif ");
      condition();
      out_.append(":\n");
      body(level + 1, depth);
    }
    if (random_.percent(50)) {
      indent(level);
      out_.append("else:\n");
      body(level + 1, depth);
    }
  }

  void body(std::size_t level, std::size_t depth) {
    const std::size_t statements = 1 + random_.below(3);
    for (std::size_t i = 0; i < statements; ++i) {
      if (depth > 1 && random_.percent(25)) {
        chain(level, depth - 1);
      } else {
        simple(level, true);
      }
    }
  }

  void simple(std::size_t level, bool inChain) {
    const std::size_t roll = random_.below(100);
    if (roll < 55) return dialogue(level);
    if (roll < 70) return assignment(level);
    if (roll < 85) return update(level);
    if (roll < 94) return call(level);
    if (inChain && roll < 97) {
      indent(level);
      out_.append("path_end\n");
      return;
    }
    jump(level);
  }

  void writeLabel(std::size_t index) {
    out_.append("label ");
    label(index);
    out_.append(":\n");
    const std::size_t statements = 5 + random_.below(26);
    for (std::size_t i = 0; i < statements; ++i) {
      if (random_.percent(15)) {
        chain(1, 1 + random_.below(3));
      } else {
        simple(1, false);
      }
    }
    if (random_.percent(80)) out_.append("    path_end\n");
    if (random_.percent(30)) out_.push_back('\n');
  }

  Random random_;
  Names names_;
  std::size_t fresh_ = 0;  // new names written so far
  std::string out_;
};

// Repeats `make(i)` for i = 0, 1, ... after `head` until the text reaches
// `bytes`.
template <typename Make>
std::string repeatLines(std::string head, std::size_t bytes, Make make) {
  std::string out = std::move(head);
  out.reserve(bytes + 64);
  for (std::size_t i = 0; out.size() < bytes; ++i) make(out, i);
  return out;
}

}  // namespace

std::string generateRealistic(std::size_t bytes, std::uint64_t seed) {
  return StoryWriter(seed, Names::kPool).write(bytes);
}

std::string generatePlayable(std::size_t bytes, std::uint64_t seed) {
  const std::string story = generateRealistic(bytes, seed);
  constexpr std::string_view kLabel = "label scene_";
  constexpr std::string_view kJump = "jump_out scene_";
  std::size_t labels = 0;
  for (std::size_t at = 0; at < story.size(); at = story.find('\n', at) + 1) {
    if (story.compare(at, kLabel.size(), kLabel) == 0) ++labels;
    if (story.find('\n', at) == std::string::npos) break;
  }
  std::string out;
  out.reserve(story.size() + story.size() / 8);
  std::size_t label = 0;
  for (std::size_t at = 0; at < story.size();) {
    std::size_t end = story.find('\n', at);
    if (end == std::string::npos) end = story.size();
    std::string_view line(story.data() + at, end - at);
    at = end + 1;
    const std::size_t blanks = line.find_first_not_of(' ');
    const std::string_view text = blanks == std::string_view::npos ? std::string_view() : line.substr(blanks);
    if (line.starts_with(kLabel)) {
      if (!out.empty()) out.append("    ").append(kJump).append(std::to_string((label + 1) % labels)).push_back('\n');
      label = std::strtoull(std::string(line.substr(kLabel.size())).c_str(), nullptr, 10);
      out.append(line);
    } else if (text == "path_end") {
      out.append(blanks, ' ').append(kJump).append(std::to_string((label + 1) % labels));
    } else if (text.starts_with(kJump)) {
      const std::size_t target = std::strtoull(std::string(text.substr(kJump.size())).c_str(), nullptr, 10);
      out.append(blanks, ' ').append(kJump).append(std::to_string(target % labels));
    } else if (text.starts_with("$ ") && (line.ends_with(" = True") || line.ends_with(" = False"))) {
      // Numbers, which the story's tests compare with numbers.
      out.append(line.substr(0, line.rfind(' ') + 1)).append(line.ends_with("True") ? "1" : "0");
    } else {
      for (std::size_t k = 0; k < line.size(); ++k) {
        out.push_back(line[k] == '!' && k + 1 < line.size() && line[k + 1] == '=' ? '~' : line[k]);
      }
    }
    out.push_back('\n');
  }
  out.append("    ").append(kJump).append("0\n");
  return out;
}

std::string generateMixed(std::size_t bytes, std::uint64_t seed) {
  return StoryWriter(seed, Names::kFresh).write(bytes);
}

const std::vector<std::string_view>& hostileKinds() {
  static const std::vector<std::string_view> kinds = {
      "deep", "blanks", "path_end", "variables", "empty", "nul", "invalid_utf8", "lone_cr", "one_line"};
  return kinds;
}

std::string generateHostile(std::string_view kind, std::size_t bytes) {
  if (kind == "deep") {
    return repeatLines("label deep:\n", bytes, [](std::string& out, std::size_t i) {
      out.append(i + 1, '\t').append("if x:\n");
    });
  }
  if (kind == "blanks") {
    std::string out = "label blanks:\n";
    out.append(bytes, ' ').push_back('\n');
    return out;
  }
  if (kind == "path_end") {
    return repeatLines("label ends:\n", bytes,
                       [](std::string& out, std::size_t) { out.append("path_end\n"); });
  }
  if (kind == "variables") {
    return repeatLines("label variables:\n", bytes, [](std::string& out, std::size_t i) {
      out.append("$ v").append(std::to_string(i)).append(" = 1\n");
    });
  }
  if (kind == "empty") {
    std::string out = "label empty:\n";
    out.append(bytes, '\n').append("    e \"at last\"\n");
    return out;
  }
  if (kind == "nul") {
    return repeatLines("label nul:\n", bytes, [](std::string& out, std::size_t) {
      out.append(std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\n", 16));
    });
  }
  if (kind == "invalid_utf8") {
    return repeatLines("label bytes:\n", bytes, [](std::string& out, std::size_t) {
      out.append("e \"\xC3\x28 \xFF\xFE \x80\xBF \xED\xA0\x80\"\n");
    });
  }
  if (kind == "lone_cr") {
    return repeatLines("label cr:\r", bytes, [](std::string& out, std::size_t) {
      out.append("    e \"a line\"\r");
    });
  }
  if (kind == "one_line") {
    std::string out = "label one:\n";
    while (out.size() < bytes) out.append("e \"word word\" ");
    return out;  // no line feed at all after the statement
  }
  throw std::invalid_argument("unknown hostile kind: " + std::string(kind));
}

}  // namespace brindle::bench
