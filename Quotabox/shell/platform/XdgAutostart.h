#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "login/LoginItemService.h"

// Launch at login on Linux desktops: the autostart entry com.orrisfen.Quotabox.desktop naming
// the running executable. Registration takes effect at the next login without further steps.
class XdgAutostart : public LoginItemService {
 public:
  // Error codes of registerApp/unregisterApp.
  static constexpr int writeFailed = 1;
  static constexpr int removeFailed = 2;

  XdgAutostart(QString executable, QString autostartDirectory);

  // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when unset or relative.
  static QString defaultDirectory();
  // $APPIMAGE when set (the image, not its temporary mount); else the program path the process
  // was started with when it names an executable by absolute path (the launcher passes its own, so
  // a login start goes through it); else this process's executable.
  static QString runningExecutable();
  static QString runningExecutable(const QString& appImage, const QString& programPath, const QString& executable);

  QString entryPath() const;
  const QString& executable() const { return m_executable; }

  LoginItemStatus status() const override;
  // Any entry under our file name, also one naming another copy of the program or switched off.
  bool hasRegistration() const override;
  void registerApp() override;
  void unregisterApp() override;

  // The entry written by registerApp.
  static QByteArray entryText(const QString& executable);
  // One argument of an Exec value, quoted where the desktop-entry rules require it.
  static QString quoteExecArgument(const QString& argument);
  // The arguments of an Exec value as stored in the file; nullopt when it is malformed.
  static std::optional<QStringList> splitExec(const QString& value);

 private:
  QString m_executable;
  QString m_directory;
};
