#pragma once

#include <QByteArray>
#include <nlohmann/json.hpp>

// JSON from outside the program, read with a bound on nesting: answers and documents we read are
// a few levels deep, and a hostile one nested thousands deep must not exhaust the stack of
// whatever walks the tree later.
namespace BoundedJSON {

constexpr int kMaxDepth = 64;

// Like nlohmann::json::parse; a document nested deeper than `maxDepth` arrays or objects throws
// UsageParseError::invalidResponse before the deeper levels are built.
nlohmann::json parse(const QByteArray& bytes, int maxDepth = kMaxDepth);

}  // namespace BoundedJSON
