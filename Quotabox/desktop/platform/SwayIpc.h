#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

// A client of sway's (and i3's) IPC socket: requests go out one at a time, in order, and each is
// answered by one reply. Replies are capped in size and waited for at most `timeoutMs`; a failed
// connection, an oversized or malformed reply, or a timeout answers every waiting request with
// nothing. Main thread; nothing blocks.
class SwayIpc : public QObject {
  Q_OBJECT

 public:
  enum Type : quint32 { runCommand = 0, getWorkspaces = 1, getOutputs = 3 };
  using Reply = std::function<void(std::optional<QByteArray>)>;

  static constexpr qint64 maxReplyBytes = 4 << 20;
  static constexpr int timeoutMs = 1000;
  static constexpr int headerBytes = 14;

  explicit SwayIpc(QString socketPath, QObject* parent = nullptr);
  ~SwayIpc() override;

  void request(Type type, QByteArray payload, Reply reply);
  // Forgets every waiting request: none of their replies is called. A request already sent still
  // has its reply read, so the next one is not mistaken for it.
  void cancel();

  // The wire form of a message: magic, payload length and type in native byte order, payload.
  static QByteArray frame(quint32 type, const QByteArray& payload);

 private:
  struct Pending {
    quint32 type;
    QByteArray payload;
    Reply reply;
  };

  void sendNext();
  void readReplies();
  void failAll();

  QString m_path;
  QLocalSocket m_socket;
  QTimer m_timeout;
  std::deque<Pending> m_queue;
  bool m_sent = false;
  QByteArray m_buffer;
};
