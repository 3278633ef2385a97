#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "model/ServiceID.h"
#include "model/TimePoint.h"

struct HistoryEntry;
struct HistoryKey;

// One stored sample of a series: plain numbers, 24 bytes. Times are seconds since 1970; a missing
// reset time is NaN.
struct HistorySample {
  double at = 0;
  double usedPercent = 0;
  double resetsAt = std::nan("");

  TimePoint time() const { return fromEpochSeconds(at); }
  std::optional<TimePoint> reset() const {
    return std::isnan(resetsAt) ? std::nullopt : std::optional(fromEpochSeconds(resetsAt));
  }
  HistoryEntry entry(const HistoryKey& key) const;
  static HistorySample from(const HistoryEntry& entry);
  bool operator==(const HistorySample& other) const;
};

// The samples of one window, oldest first. Copies share one immutable block, so snapshots handed to
// the UI and the trend calculator cost a reference, not a copy; the owner copies on write only
// while a snapshot still holds the block.
class HistorySeries {
 public:
  using Samples = std::vector<HistorySample>;

  HistorySeries() = default;
  explicit HistorySeries(Samples samples) : m_samples(std::make_shared<Samples>(std::move(samples))) {}

  std::size_t size() const { return m_samples ? m_samples->size() : 0; }
  bool empty() const { return size() == 0; }
  const HistorySample* begin() const { return m_samples ? m_samples->data() : nullptr; }
  const HistorySample* end() const { return begin() + size(); }
  const HistorySample& operator[](std::size_t index) const { return (*m_samples)[index]; }
  const HistorySample& front() const { return m_samples->front(); }
  const HistorySample& back() const { return m_samples->back(); }

  // The samples as entries of `key`, for callers that want whole values.
  std::vector<HistoryEntry> entries(const HistoryKey& key) const;

  // Mutable access for the owner: a private copy when the block is shared.
  Samples& edit();

  bool operator==(const HistorySeries& other) const;

 private:
  std::shared_ptr<const Samples> m_samples;
};
