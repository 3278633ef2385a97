#include "statusbar/WaybarModule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "appmodel/AppModel.h"
#include "glyph/MenuBarLabel.h"
#include "report/TerminalReport.h"
#include "statusbar/WaybarLine.h"

WaybarModule::WaybarModule(AppModel& model, Writer writer, Clock clock, QObject* parent)
    : QObject(parent), m_model(model), m_writer(std::move(writer)), m_clock(std::move(clock)) {
  m_staleness.setSingleShot(true);
  connect(&m_staleness, &QTimer::timeout, this, &WaybarModule::emitIfChanged);
  UsageStore& store = m_model.store();
  AppSettings& settings = m_model.settings();
  connect(&store, &UsageStore::usagesChanged, this, &WaybarModule::emitIfChanged);
  // A refresh that ends writes a line even when nothing changed, so the bar knows it is alive.
  connect(&store, &UsageStore::isRefreshingChanged, this, [this] {
    if (m_model.store().isRefreshing()) {
      emitIfChanged();
    } else {
      emitLine();
    }
  });
  connect(&store, &UsageStore::trendInputsChanged, this, &WaybarModule::emitIfChanged);
  connect(&settings, &AppSettings::menuBarStyleChanged, this, &WaybarModule::emitIfChanged);
  connect(&settings, &AppSettings::warningThresholdChanged, this, &WaybarModule::emitIfChanged);
  connect(&settings, &AppSettings::criticalThresholdChanged, this, &WaybarModule::emitIfChanged);
  connect(&settings, &AppSettings::refreshIntervalChanged, this, &WaybarModule::emitIfChanged);
}

EngineState WaybarModule::currentState() const {
  const TimePoint now = m_clock();
  TerminalReport::Input input;
  input.usages = m_model.orderedUsages();
  input.lastRefresh = m_model.store().lastRefresh();
  input.isRefreshing = m_model.store().isRefreshing();
  input.thresholds = {m_model.settings().warningThreshold(), m_model.settings().criticalThreshold()};
  input.refreshInterval = m_model.settings().refreshInterval();
  input.now = now;
  input.trend = [this](ServiceID service, const std::string& windowID) { return m_model.trend(service, windowID); };
  // Demonstration data says so in the tooltip's first line, as in the text report.
  input.scenario = m_model.options().source.scenarioName();
  input.showTrends = m_model.settings().showTrends() && m_model.settings().historyEnabled();
  input.surface = UsageWording::Surface::tooltip;
  EngineState state = WaybarLine::state(MenuBarLabel::glyph(m_model, now), TerminalReport::text(input).trimmed());
  state.ready = m_model.store().lastRefresh().has_value();
  return state;
}

QByteArray WaybarModule::currentLine() const { return WaybarLine::format(currentState()); }

void WaybarModule::emitLine() {
  m_last = currentState();
  m_writer(m_last);
  scheduleStalenessCheck();
}

void WaybarModule::emitIfChanged() {
  EngineState state = currentState();
  if (state != m_last) {
    m_last = std::move(state);
    m_writer(m_last);
  }
  scheduleStalenessCheck();
}

// Values turn stale with time alone: wake once when the next one does, not on a fixed tick.
void WaybarModule::scheduleStalenessCheck() {
  const double now = toEpochSeconds(m_clock());
  const double limit = freshnessLimit(m_model.settings().refreshInterval());
  double next = std::numeric_limits<double>::infinity();
  for (const auto& [service, usage] : m_model.orderedUsages()) {
    if (!usage || usage->windows.empty()) continue;
    const double deadline = toEpochSeconds(usage->fetchedAt) + limit;
    if (deadline >= now) next = std::min(next, deadline);
  }
  if (!std::isfinite(next)) {
    m_staleness.stop();
    return;
  }
  // Just past the limit: exactly at it the data still counts as fresh.
  const double delay = std::min((next - now) * 1000.0 + 1000.0, 24.0 * 3600 * 1000);
  m_staleness.start(static_cast<int>(delay));
}
