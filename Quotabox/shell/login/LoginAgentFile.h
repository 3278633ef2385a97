#pragma once

#include <QByteArray>
#include <QString>

// The per-user launchd agent that opens the application at login when the system's own
// login-item registration does not take effect.
struct LoginAgentFile {
  QString directory;

  static inline const QString label = QStringLiteral("com.orrisfen.Quotabox.login");

  // ~/Library/LaunchAgents
  static LoginAgentFile standard();

  QString filePath() const;
  // The XML property list naming `appPath` (the application bundle).
  static QByteArray format(const QString& appPath);
  // True only when the file is exactly our agent for `appPath` and that bundle still holds its
  // executable. Never throws.
  bool matches(const QString& appPath) const;
  // Creates the folder (0700) when missing and writes the file atomically with permissions 0600.
  // Throws std::system_error.
  void write(const QString& appPath) const;
  // Deletes the file if present. Throws std::system_error.
  void remove() const;
};
