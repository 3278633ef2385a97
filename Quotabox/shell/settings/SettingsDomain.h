#pragma once

#include <QString>
#include <QVariant>
#include <memory>

// A user-defaults domain: typed key/value pairs kept in one JSON file per domain under
// $XDG_CONFIG_HOME/Quotabox/. Booleans, integers, doubles, strings and bytes read back with the
// type they were written with. Every write reaches the disk before setValue()/remove() return.
// Thread-safe; instances of the same domain share one in-memory copy of the file.
//
// The file is read without blocking and capped: anything at the path that is not a regular file,
// is too large, nested too deep or not a JSON object is moved aside (".corrupt-<time>") and the
// domain starts empty. The file is kept 0600.
class SettingsDomain {
 public:
  // The application's own domain.
  static const QString standardName;

  static std::shared_ptr<SettingsDomain> standard();
  // A separate named domain, or nullptr for a name that cannot be a file name of its own
  // (empty, a path, a leading dot, control characters) or that is the standard domain's name.
  static std::shared_ptr<SettingsDomain> suite(const QString& name);
  // Folder of the domain files.
  static QString directory();

  ~SettingsDomain();
  SettingsDomain(const SettingsDomain&) = delete;
  SettingsDomain& operator=(const SettingsDomain&) = delete;

  QString name() const { return m_name; }
  QString filePath() const { return m_path; }
  // Where an unreadable file was moved, when one was; empty otherwise.
  QString setAsidePath() const;
  // The line that tells the user so, for standard error; empty when nothing was set aside.
  QString setAsideNotice() const;

  // Invalid QVariant when the key is missing. Integers read back as LongLong, bytes as QByteArray.
  QVariant value(const QString& key) const;
  // An invalid QVariant removes the key. Throws std::invalid_argument for a value the file cannot
  // hold (types other than bool, numbers, strings, bytes, lists and maps of these; NaN or infinity).
  void setValue(const QString& key, const QVariant& value);
  void remove(const QString& key);
  bool contains(const QString& key) const;
  // Picks up changes another process made to the file.
  void sync();
  // Forgets every key and deletes the domain's file.
  void removePersistentDomain();

 private:
  struct Shared;
  SettingsDomain(QString name, QString path);
  static std::shared_ptr<Shared> sharedFor(const QString& path);

  QString m_name;
  QString m_path;
  std::shared_ptr<Shared> m_shared;
};
