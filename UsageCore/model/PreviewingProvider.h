#pragma once

#include <functional>
#include <stop_token>

#include "model/ServiceUsage.h"

// A provider that can hand out an early result before its fetch is done. The store shows it at once
// and records only the final result.
class PreviewingProvider {
 public:
  // Called on the fetching thread; the result the fetch returns supersedes it.
  using Preview = std::function<void(const ServiceUsage&)>;

  virtual ~PreviewingProvider() = default;
  // UsageProvider::fetch, handing an early result to `preview` when there is one.
  virtual ServiceUsage fetchWithPreview(std::stop_token stop, const Preview& preview) = 0;
};
