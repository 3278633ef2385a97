#include "settings/AppSettings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kRefreshInterval = QStringLiteral("refreshInterval");
const QString kMenuBarStyle = QStringLiteral("menuBarStyle");
const QString kNotificationsEnabled = QStringLiteral("notificationsEnabled");
const QString kShowTrends = QStringLiteral("showTrends");
const QString kHistoryEnabled = QStringLiteral("historyEnabled");
const QString kWarningThreshold = QStringLiteral("warningThreshold");
const QString kCriticalThreshold = QStringLiteral("criticalThreshold");

constexpr double kDefaultRefreshInterval = 120;
constexpr int kDefaultWarningThreshold = 70;

bool isInteger(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
      return true;
    default:
      return false;
  }
}

// Numeric reading in the manner of user defaults: numbers convert, booleans read as 0 or 1,
// numeric text is parsed, and anything else (or nothing) reads as 0.
double readDouble(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? 1 : 0;
  if (value.typeId() == QMetaType::Double || isInteger(value)) return value.toDouble();
  if (value.typeId() == QMetaType::QString) {
    bool ok = false;
    const double parsed = value.toString().trimmed().toDouble(&ok);
    return ok ? parsed : 0;
  }
  return 0;
}

long long readInteger(const QVariant& value) {
  if (isInteger(value))
    return value.typeId() == QMetaType::ULongLong ? std::numeric_limits<long long>::max() : value.toLongLong();
  const double number = readDouble(value);
  if (!std::isfinite(number)) return 0;
  return static_cast<long long>(std::clamp(number, -1e15, 1e15));
}

template <typename List, typename Value>
bool isListed(const List& list, Value value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

bool readSwitch(const SettingsDomain& defaults, const QString& key) {
  const QVariant stored = defaults.value(key);
  return stored.typeId() == QMetaType::Bool ? stored.toBool() : true;
}

}  // namespace

AppSettings::AppSettings(std::shared_ptr<SettingsDomain> defaults, QObject* parent)
    : QObject(parent), m_defaults(std::move(defaults)) {
  const double interval = readDouble(m_defaults->value(kRefreshInterval));
  m_refreshInterval = isListed(refreshChoices, interval) ? interval : kDefaultRefreshInterval;

  const QVariant style = m_defaults->value(kMenuBarStyle);
  const auto parsedStyle =
      style.typeId() == QMetaType::QString ? MenuBarStyles::fromRaw(style.toString()) : std::nullopt;
  m_menuBarStyle = parsedStyle.value_or(MenuBarStyle::both);

  m_notificationsEnabled = readSwitch(*m_defaults, kNotificationsEnabled);
  m_showTrends = readSwitch(*m_defaults, kShowTrends);
  m_historyEnabled = readSwitch(*m_defaults, kHistoryEnabled);

  const long long warning = readInteger(m_defaults->value(kWarningThreshold));
  m_warningThreshold = isListed(warningChoices, warning) ? static_cast<int>(warning) : kDefaultWarningThreshold;

  const long long critical = readInteger(m_defaults->value(kCriticalThreshold));
  m_criticalThreshold = isListed(criticalChoices, critical) && critical > m_warningThreshold
                            ? static_cast<int>(critical)
                            : std::max(m_warningThreshold + 5, 90);
}

void AppSettings::setRefreshInterval(double seconds) {
  // Not a duration at all; the domain could not store it either.
  if (!std::isfinite(seconds)) return;
  const bool changed = m_refreshInterval != seconds;
  m_refreshInterval = seconds;
  m_defaults->setValue(kRefreshInterval, seconds);
  if (changed) emit refreshIntervalChanged(seconds);
}

void AppSettings::setMenuBarStyle(MenuBarStyle style) {
  const bool changed = m_menuBarStyle != style;
  m_menuBarStyle = style;
  m_defaults->setValue(kMenuBarStyle, MenuBarStyles::rawValue(style));
  if (changed) emit menuBarStyleChanged(style);
}

void AppSettings::setNotificationsEnabled(bool enabled) {
  const bool changed = m_notificationsEnabled != enabled;
  m_notificationsEnabled = enabled;
  m_defaults->setValue(kNotificationsEnabled, enabled);
  if (changed) emit notificationsEnabledChanged(enabled);
}

void AppSettings::setShowTrends(bool enabled) {
  const bool changed = m_showTrends != enabled;
  m_showTrends = enabled;
  m_defaults->setValue(kShowTrends, enabled);
  if (changed) emit showTrendsChanged(enabled);
}

void AppSettings::setHistoryEnabled(bool enabled) {
  const bool changed = m_historyEnabled != enabled;
  m_historyEnabled = enabled;
  m_defaults->setValue(kHistoryEnabled, enabled);
  if (changed) emit historyEnabledChanged(enabled);
}

void AppSettings::setWarningThreshold(int percent) {
  const bool changed = m_warningThreshold != percent;
  m_warningThreshold = percent;
  m_defaults->setValue(kWarningThreshold, percent);
  if (changed) emit warningThresholdChanged(percent);

  if (m_warningThreshold >= m_criticalThreshold) {
    const auto above = std::find_if(criticalChoices.begin(), criticalChoices.end(),
                                    [&](int choice) { return choice > m_warningThreshold; });
    setCriticalThreshold(above != criticalChoices.end() ? *above : criticalChoices.back());
  }
}

void AppSettings::setCriticalThreshold(int percent) {
  const bool changed = m_criticalThreshold != percent;
  m_criticalThreshold = percent;
  m_defaults->setValue(kCriticalThreshold, percent);
  if (changed) emit criticalThresholdChanged(percent);

  if (m_warningThreshold >= m_criticalThreshold) {
    const auto below = std::find_if(warningChoices.rbegin(), warningChoices.rend(),
                                    [&](int choice) { return choice < m_criticalThreshold; });
    setWarningThreshold(below != warningChoices.rend() ? *below : warningChoices.front());
  }
}
