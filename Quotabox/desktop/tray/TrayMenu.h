#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

// Entry ids of the tray menu; hosts see them in events.
namespace TrayMenuIds {
inline constexpr int open = 1;
inline constexpr int refresh = 2;
inline constexpr int settings = 3;
inline constexpr int separator = 4;
inline constexpr int quit = 5;
}  // namespace TrayMenuIds

// The tray item's menu as data: entries with stable ids, served over D-Bus for hosts that draw
// menus themselves and turned into a QMenu where a host asks the application to show one.
// Main thread.
class TrayMenu : public QObject {
  Q_OBJECT

 public:
  struct Entry {
    int id = 0;  // > 0; 0 is the menu itself
    QString label;
    bool separator = false;
    bool enabled = true;
    std::function<void()> action;
  };

  using QObject::QObject;

  // Replaces the whole layout; the revision goes up.
  void setEntries(std::vector<Entry> entries);
  const std::vector<Entry>& entries() const { return m_entries; }
  const Entry* entry(int id) const;
  // Changes one entry's state without a new layout.
  void setEnabled(int id, bool enabled);
  // Layout revision: starts at 1, grows with every setEntries.
  uint revision() const { return m_revision; }

  // Runs the entry's action when it exists, is not a separator and is enabled.
  bool trigger(int id);

 signals:
  void layoutChanged(uint revision);
  void enabledChanged(int id, bool enabled);

 private:
  std::vector<Entry> m_entries;
  uint m_revision = 1;
};
