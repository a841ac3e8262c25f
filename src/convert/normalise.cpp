#include "normalise.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace brindle {
namespace {

// Where the first "+=" or "-=" at or after `from` starts, or npos.
std::size_t findUpdate(std::string_view text, std::size_t from) {
  for (std::size_t at = from; at + 1 < text.size(); ++at) {
    const void* const equals = std::memchr(text.data() + at + 1, kAddTo[1], text.size() - at - 1);
    if (equals == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(equals) - text.data()) - 1;
    if (endsUpdate(text[at], text[at + 1])) return at;
  }
  return std::string_view::npos;
}

// Whether anything after a line's leading blanks changes in the
// normalisation: a run of four blanks, "+=" or "-=".
bool needsNormalising(std::string_view rest) {
  constexpr char kBlank = kFourBlanks[0];
  std::size_t run = 0;  // blanks in a row so far
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    run = c == kBlank ? run + 1 : 0;
    if (run == kFourBlanks.size() || (i > 0 && endsUpdate(rest[i - 1], c))) return true;
  }
  return false;
}

}  // namespace

Normalised normaliseLine(std::string_view raw, TriggerSet triggers, std::string& line,
                         std::size_t leading) {
  constexpr char kBlank = kFourBlanks[0];
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  if (leading == kLeadingNotCounted) leading = leadingBlanks(raw);
  const std::string_view rest = raw.substr(leading);
  const std::size_t tabs = leading / kTabBlanks;
  const std::size_t blanks = leading % kTabBlanks;
  // A scanned "+=" or "-=" surely changes the line; a scanned pair of
  // blanks may be too short a run to.
  const bool changes = (triggers & kUpdateTrigger) != 0 ||
                       ((triggers & kBlankRunTrigger) != 0 && needsNormalising(rest));
  // The tabs and the blanks left over take the place of the last of the
  // leading blanks, which a copy of the line brings along; the tabs are
  // written over the first of them.
  const auto copyWhole = [&] {
    line.assign(rest.data() - tabs - blanks, tabs + blanks + rest.size());
    std::fill_n(line.data(), tabs, '\t');
  };
  if (!changes) {
    copyWhole();
    return {triggers, tabs};
  }
  // Most updates hold one "+=" or "-=" and no run of blanks: the line is
  // copied whole and one blank put in.
  if ((triggers & kBlankRunTrigger) == 0) {
    const std::size_t update = findUpdate(rest, 0);
    if (update != std::string_view::npos &&
        findUpdate(rest, update + kAddTo.size()) == std::string_view::npos) {
      copyWhole();
      const std::size_t after = tabs + blanks + update + kAddTo.size();
      line.insert(after, 1, kBlank);
      triggers |= formedByJoining(kAddTo[1], kBlank);
      if (after + 1 < line.size()) triggers |= formedByJoining(kBlank, line[after + 1]);
      return {triggers, tabs};
    }
  }
  // Four blanks become one tab and take three bytes fewer; every "=" may
  // gain a blank behind it. So the rest grows to at most twice its length.
  line.resize(tabs + blanks + 2 * rest.size());
  char* out = line.data();
  out = std::fill_n(out, tabs, '\t');
  out = std::fill_n(out, blanks, kBlank);
  const char* const begin = rest.data();
  const char* const end = begin + rest.size();
  for (const char* in = begin; in != end; ++in) {
    const char c = *in;
    if (c == kBlank && in + 1 != end && in[1] == kBlank) {
      // A run of n blanks gives n / 4 tabs, then the n % 4 blanks left over.
      const char* const run = in;
      while (in + 1 != end && in[1] == kBlank) ++in;
      const auto length = static_cast<std::size_t>(in + 1 - run);
      out = std::fill_n(out, length / kTabBlanks, '\t');
      out = std::fill_n(out, length % kTabBlanks, kBlank);
      continue;
    }
    *out++ = c;
    // Blank runs turn into tabs, never into nothing, so a "+=" or "-=" of the
    // normalised line is one of the raw line too. The blank put behind it
    // may form a scanned text with the byte after it; turning blanks into
    // tabs forms none.
    if (in != begin && endsUpdate(in[-1], c)) {
      *out++ = kBlank;
      triggers |= formedByJoining(c, kBlank) | (in + 1 != end ? formedByJoining(kBlank, in[1]) : 0);
    }
  }
  line.resize(static_cast<std::size_t>(out - line.data()));
  return {triggers, tabs};
}

std::size_t rawOffsetOf(std::string_view raw, std::size_t at) {
  constexpr char kBlank = kFourBlanks[0];
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  std::size_t made = 0;  // bytes of the normalised line made so far
  for (std::size_t in = 0; in < raw.size();) {
    if (raw[in] == kBlank) {
      // A run of n blanks gives n / 4 tabs, then the n % 4 blanks left over.
      std::size_t run = 1;
      while (in + run < raw.size() && raw[in + run] == kBlank) ++run;
      const std::size_t tabs = run / kTabBlanks;
      const std::size_t length = tabs + run % kTabBlanks;
      if (at < made + length) {
        const std::size_t k = at - made;
        return in + (k < tabs ? k * kTabBlanks : tabs * kTabBlanks + (k - tabs));
      }
      made += length;
      in += run;
      continue;
    }
    const bool update = in > 0 && endsUpdate(raw[in - 1], raw[in]);
    if (at == made) return in;
    ++made;
    ++in;
    if (update) {
      if (at == made) return in;  // the blank put behind the operator
      ++made;
    }
  }
  return raw.size();
}

}  // namespace brindle
