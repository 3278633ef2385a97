#pragma once

#include <QString>
#include <optional>

#include "model/ServiceID.h"
#include "model/ServiceUsage.h"
#include "model/TimePoint.h"
#include "settings/UsageLevel.h"

// Sentences shared by the popover and the terminal report, so both say the same thing.
namespace UsageWording {

// The window's reset has passed: its figures belong to the previous cycle.
bool isResetPassed(const UsageWindow& window, TimePoint now);

// "2시간 14분 후 초기화 · 오늘 오후 3:05", "곧 초기화 · ...", or for a passed reset
// "오늘 오후 3:05에 초기화됨 · 새로고침 필요"; empty without a reset time.
QString resetLine(const UsageWindow& window, TimePoint now);

// "62% 남음", or "이전 주기 값" once the reset has passed.
QString remainingText(const UsageWindow& window, TimePoint now);

// "주의" / "한도 임박"; empty for normal.
QString levelWord(UsageLevel level);

// The provider's message with a closing full stop and the automatic-retry line.
QString failureDetail(const std::string& message, double refreshInterval);

// Where a sentence is shown: only the popover has a refresh button to point at.
enum class Surface { popover, report, tooltip };

QString signInTitle();
// How to sign in and then see the figures, worded for the surface.
QString signInDetail(ServiceID service, Surface surface = Surface::popover);
QString failureTitle();
QString retainedNotice();

QString staleTitle();
QString staleDetail(TimePoint fetchedAt, TimePoint now);

// The footer line: "불러오는 중…", "아직 갱신 전" or "마지막 갱신 ...".
QString lastRefreshText(std::optional<TimePoint> lastRefresh, bool isRefreshing, TimePoint now);

// Metrics worth showing: value not empty, "—" or "-".
std::vector<UsageMetric> visibleMetrics(const ServiceUsage& usage);

// Whether a snapshot's values are outdated (only snapshots that carry windows or are ok).
bool isOutdated(const ServiceUsage& usage, TimePoint now, double refreshInterval);

}  // namespace UsageWording
