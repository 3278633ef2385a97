#include "tray/TrayMenu.h"

#include <algorithm>

void TrayMenu::setEntries(std::vector<Entry> entries) {
  m_entries = std::move(entries);
  ++m_revision;
  emit layoutChanged(m_revision);
}

const TrayMenu::Entry* TrayMenu::entry(int id) const {
  const auto found = std::find_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
  return found == m_entries.end() ? nullptr : &*found;
}

void TrayMenu::setEnabled(int id, bool enabled) {
  const auto found = std::find_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; });
  if (found == m_entries.end() || found->enabled == enabled) return;
  found->enabled = enabled;
  emit enabledChanged(id, enabled);
}

bool TrayMenu::trigger(int id) {
  const Entry* found = entry(id);
  if (!found || found->separator || !found->enabled || !found->action) return false;
  // A copy: the action may replace the entries.
  const std::function<void()> action = found->action;
  action();
  return true;
}
