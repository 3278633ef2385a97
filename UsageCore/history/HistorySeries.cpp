#include "history/HistorySeries.h"

#include <algorithm>

#include "history/HistoryEntry.h"

namespace {
bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
}  // namespace

HistoryEntry HistorySample::entry(const HistoryKey& key) const {
  return {key.service, key.windowID, usedPercent, time(), reset()};
}

HistorySample HistorySample::from(const HistoryEntry& entry) {
  return {toEpochSeconds(entry.at), entry.usedPercent, entry.resetsAt ? toEpochSeconds(*entry.resetsAt) : std::nan("")};
}

bool HistorySample::operator==(const HistorySample& other) const {
  return at == other.at && sameNumber(usedPercent, other.usedPercent) && sameNumber(resetsAt, other.resetsAt);
}

std::vector<HistoryEntry> HistorySeries::entries(const HistoryKey& key) const {
  std::vector<HistoryEntry> result;
  result.reserve(size());
  for (const HistorySample& sample : *this) result.push_back(sample.entry(key));
  return result;
}

HistorySeries::Samples& HistorySeries::edit() {
  // Only the owner reaches this, and only it can hand out new references, so a count of one
  // cannot grow meanwhile.
  if (!m_samples || m_samples.use_count() > 1) {
    m_samples = std::make_shared<Samples>(m_samples ? *m_samples : Samples{});
  }
  return const_cast<Samples&>(*m_samples);
}

bool HistorySeries::operator==(const HistorySeries& other) const {
  if (m_samples == other.m_samples) return true;
  return std::equal(begin(), end(), other.begin(), other.end());
}
