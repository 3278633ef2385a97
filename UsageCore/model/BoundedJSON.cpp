#include "model/BoundedJSON.h"

#include "model/UsageParseError.h"

namespace BoundedJSON {

nlohmann::json parse(const QByteArray& bytes, int maxDepth) {
  using json = nlohmann::json;
  // The callback sees the depth of a container before it is opened (0 for the top level).
  const json::parser_callback_t bound = [maxDepth](int depth, json::parse_event_t event, json&) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= maxDepth) {
      throw UsageParseError::invalidResponse();
    }
    return true;
  };
  return json::parse(bytes.begin(), bytes.end(), bound);
}

}  // namespace BoundedJSON
