#include "play_json.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace brindle::check {
namespace {

using Json = nlohmann::ordered_json;

std::string_view kindName(PlayStepKind kind) {
  switch (kind) {
    case PlayStepKind::dialogue: return "dialogue";
    case PlayStepKind::call: return "call";
    case PlayStepKind::jump: return "jump";
  }
  return "call";
}

std::string_view kindName(PlayEndKind kind) {
  switch (kind) {
    case PlayEndKind::pathEnd: return "pathEnd";
    case PlayEndKind::labelEnded: return "labelEnded";
    case PlayEndKind::undefinedLabel: return "undefinedLabel";
    case PlayEndKind::stepLimit: return "stepLimit";
    case PlayEndKind::error: return "error";
    case PlayEndKind::notLoaded: return "notLoaded";
  }
  return "error";
}

Json valueOf(const PlayValue& value) {
  switch (value.kind) {
    case PlayValue::Kind::number: {
      // Whole numbers as integers, as Lua prints them.
      constexpr double kExact = 9007199254740992.0;  // 2^53
      const double number = value.number;
      if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) <= kExact) {
        return static_cast<std::int64_t>(number);
      }
      return std::isfinite(number) ? Json(number) : Json(nullptr);
    }
    case PlayValue::Kind::boolean: return value.boolean;
    case PlayValue::Kind::string: return value.text;
    case PlayValue::Kind::nil:
    case PlayValue::Kind::other: break;
  }
  return nullptr;
}

}  // namespace

std::string playJson(const PlayReport& report, int indent) {
  Json steps = Json::array();
  for (const PlayStep& step : report.steps) {
    Json item = {{"line", step.line}, {"label", report.labels[step.label]}, {"kind", kindName(step.kind)}};
    switch (step.kind) {
      case PlayStepKind::dialogue:
        item["speaker"] = step.name;
        item["text"] = step.text;
        break;
      case PlayStepKind::call: item["call"] = step.text; break;
      case PlayStepKind::jump: item["target"] = step.name; break;
    }
    steps.push_back(std::move(item));
  }
  const PlayEnd& end = report.end;
  Json ending = {{"line", end.line},
                 {"label", end.label ? Json(report.labels[*end.label]) : Json(nullptr)},
                 {"kind", kindName(end.kind)},
                 {"message", end.message}};
  if (end.kind == PlayEndKind::stepLimit) ending["loop"] = end.loop;
  // By name, so that the document does not change with the order of
  // declaration.
  std::vector<const PlayVariable*> sorted;
  for (const PlayVariable& variable : report.variables) sorted.push_back(&variable);
  std::sort(sorted.begin(), sorted.end(), [](const PlayVariable* a, const PlayVariable* b) { return a->name < b->name; });
  Json variables = Json::object();
  for (const PlayVariable* variable : sorted) variables[variable->name] = valueOf(variable->value);
  const Json document = {{"steps", std::move(steps)}, {"end", std::move(ending)}, {"variables", std::move(variables)}};
  std::string text = document.dump(indent, ' ', false, Json::error_handler_t::replace);
  if (indent >= 0) text.push_back('\n');
  return text;
}

}  // namespace brindle::check
