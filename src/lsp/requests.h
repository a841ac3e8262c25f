// The protocol's side of the editor features: the server's capabilities,
// and each request about a document answered as the protocol's JSON from
// the features of editor_features.h. Functions of what they are given;
// any thread may call them.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "check.h"
#include "editor_features.h"
#include "story.h"
#include "story_check.h"

namespace brindle::lsp {

// The command that answers with the whole Lua of a document.
inline constexpr std::string_view kShowLua = "brindle.showLua";
// The command that answers with a document's map, as mapJson writes it.
inline constexpr std::string_view kShowMap = "brindle.map";
// The command that plays a document (check/play.h): [uri, {from, set, steps}].
inline constexpr std::string_view kPlay = "brindle.play";

// What the server answers `initialize` with.
nlohmann::json capabilities();

nlohmann::json toJson(const Position& position);
Position positionFrom(const nlohmann::json& position);

// Thrown where the request is refused, with the reason, for the editor.
struct RequestRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The play of `story` with the options of a brindle.play command's second
// argument, as the play's JSON document; throws RequestRefused for options
// that are not of the command's form or cannot be used on the story.
std::string playAnswer(const Story& story, const nlohmann::json& options);

// Whether `method` asks about one document, which answerAbout answers.
bool asksAboutDocument(std::string_view method);

// The latest check of the document, asked for only by the requests that
// need it (a quick fix); it may give null.
using LatestReport = std::function<std::shared_ptr<const StoryReport>()>;

// The result of `method` on the document at `uri`, whose newest version is
// `story`, as JSON text. Throws RequestRefused, and
// nlohmann::json::exception where the parameters are not what the method
// takes.
std::string answerAbout(std::string_view method, const nlohmann::json& params, const std::string& uri,
                        const Story& story, const LatestReport& report);

// The story's map as JSON text: {"nodes": [{"name", "line", "entries",
// "start", "reached", "defined"}...], "edges": [{"from", "to", "count",
// "line"}...]}, edges naming their labels; written out directly, as a
// story may have thousands of labels.
std::string mapJson(const StoryMap& map);

// The notification textDocument/publishDiagnostics of the document's
// report, as JSON text: written out directly, since a large story's has
// tens of thousands of diagnostics and is sent after every change.
std::string diagnosticsNotification(const std::string& uri, const StoryReport& report);

}  // namespace brindle::lsp
