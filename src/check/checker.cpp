#include "checker.h"

#include <algorithm>
#include <deque>
#include <future>
#include <memory>
#include <system_error>
#include <thread>

#include "lua_parser.h"
#include "script_lines.h"
#include "segment.h"

namespace brindle::check {

// Gathers the text into segments as it arrives and has each checked, on
// threads of their own where there are processors for them, the findings
// joined in the order of the segments.
struct Checker::State {
  State(LineMap& map, std::string_view script, const Batches& batches, std::vector<Finding>& findings)
      : map(map), script(script), batches(batches), findings(findings),
        threads(batches.threads != 0 ? batches.threads : std::max(1u, std::thread::hardware_concurrency())) {}

  ~State() {
    for (std::future<std::vector<SegmentFinding>>& checked : pending) {
      if (checked.valid()) checked.wait();
    }
  }

  LineMap& map;
  ScriptLineFinder script;
  Batches batches;
  std::vector<Finding>& findings;
  std::size_t threads;
  Segment current;
  std::deque<std::future<std::vector<SegmentFinding>>> pending;

  std::size_t linesBegun() const { return current.linesBegun(); }

  void take(std::string_view piece) {
    Segment& at = current;
    at.append(piece, map);
    // A segment is cut once it is long enough, before its last item, which
    // waits until the next begins, which ends it.
    if (at.items.size() >= 2 && at.text.size() - at.starts[at.items.front().firstLine - at.firstLine] >= batches.segmentBytes) {
      cut();
    }
  }

  // Hands on the current segment but its last item, which starts the next.
  void cut() {
    Segment& at = current;
    const Item next = at.items.back();
    const std::size_t index = next.firstLine - at.firstLine;
    const std::size_t offset = at.starts[index];
    Segment rest;
    rest.text = at.text.substr(offset);
    rest.firstLine = next.firstLine;
    rest.starts.assign(at.starts.begin() + static_cast<std::ptrdiff_t>(index), at.starts.end());
    for (std::size_t& start : rest.starts) start -= offset;
    const auto kept = std::lower_bound(at.marks.begin(), at.marks.end(), offset);
    rest.marks.assign(kept, at.marks.end());
    for (std::size_t& mark : rest.marks) mark -= offset;
    rest.items.push_back(next);
    rest.carriageReturns = rest.text.find('\r') != std::string::npos;
    at.text.resize(offset);
    at.starts.resize(index + 1);
    at.marks.erase(kept, at.marks.end());
    hand(std::move(at), next.firstLine + 1);
    current = std::move(rest);
    letLinesGo(map, next.firstLine);
  }

  // Has `segment`, whose lines run to `end`, checked.
  void hand(Segment&& segment, std::size_t end) {
    for (std::size_t line = segment.firstLine; line < end; ++line) segment.lines.push_back(lineOf(map, line));
    auto handed = std::make_shared<Segment>(std::move(segment));
    const auto run = [handed, this] {
      LuaParser parser;
      return checkSegment(std::move(*handed), batches, parser);
    };
    if (threads > 1) {
      if (pending.size() >= threads) collect();
      try {
        pending.push_back(std::async(std::launch::async, run));
        return;
      } catch (const std::system_error&) {
        // No thread to be had: checked here, after those handed on before.
      }
    }
    while (!pending.empty()) collect();
    add(run());
  }

  void collect() {
    std::vector<SegmentFinding> checked = pending.front().get();
    pending.pop_front();
    add(checked);
  }

  // The findings of the next segment, with the fix where the script line
  // shows a common mistake.
  void add(const std::vector<SegmentFinding>& checked) {
    for (const SegmentFinding& found : checked) {
      Finding finding = findingAt(found);
      if (finding.kind == FindingKind::luaSyntax) finding.hints = hintsFor(script.line(finding.line));
      findings.push_back(std::move(finding));
    }
  }

  void finish() {
    current.last = true;
    const std::size_t end = linesBegun();
    hand(std::move(current), end);
    while (!pending.empty()) collect();
  }
};

Checker::Checker(LineMap& lines, std::string_view script, const Batches& batches,
                 std::vector<Finding>& findings)
    : state_(std::make_unique<State>(lines, script, batches, findings)) {}

Checker::~Checker() = default;

void Checker::take(std::string_view piece) { state_->take(piece); }

void Checker::finish() { state_->finish(); }

}  // namespace brindle::check
