#include "platform/SwayIpc.h"

#include <cstring>

namespace {
constexpr char magic[] = "i3-ipc";
constexpr int magicBytes = 6;
}  // namespace

SwayIpc::SwayIpc(QString socketPath, QObject* parent) : QObject(parent), m_path(std::move(socketPath)) {
  m_timeout.setSingleShot(true);
  m_timeout.setInterval(timeoutMs);
  connect(&m_timeout, &QTimer::timeout, this, &SwayIpc::failAll);
  connect(&m_socket, &QLocalSocket::connected, this, &SwayIpc::sendNext);
  connect(&m_socket, &QLocalSocket::readyRead, this, &SwayIpc::readReplies);
  connect(&m_socket, &QLocalSocket::errorOccurred, this, &SwayIpc::failAll);
}

SwayIpc::~SwayIpc() {
  m_socket.disconnect(this);
  m_socket.abort();
}

QByteArray SwayIpc::frame(quint32 type, const QByteArray& payload) {
  QByteArray message(magic, magicBytes);
  const auto length = static_cast<quint32>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), sizeof length);
  message.append(reinterpret_cast<const char*>(&type), sizeof type);
  message.append(payload);
  return message;
}

void SwayIpc::request(Type type, QByteArray payload, Reply reply) {
  m_queue.push_back({type, std::move(payload), std::move(reply)});
  sendNext();
}

void SwayIpc::cancel() {
  if (m_queue.empty()) return;
  // The request on the wire keeps its place, without anyone to tell.
  auto first = m_sent ? std::next(m_queue.begin()) : m_queue.begin();
  m_queue.erase(first, m_queue.end());
  if (m_sent) m_queue.front().reply = nullptr;
}

void SwayIpc::sendNext() {
  if (m_sent || m_queue.empty()) return;
  if (m_socket.state() == QLocalSocket::UnconnectedState) {
    m_buffer.clear();
    m_timeout.start();
    m_socket.connectToServer(m_path);
    return;
  }
  if (m_socket.state() != QLocalSocket::ConnectedState) return;
  const Pending& next = m_queue.front();
  m_socket.write(frame(next.type, next.payload));
  m_sent = true;
  m_timeout.start();
}

void SwayIpc::readReplies() {
  m_buffer.append(m_socket.readAll());
  while (m_buffer.size() >= headerBytes) {
    quint32 length = 0;
    std::memcpy(&length, m_buffer.constData() + magicBytes, sizeof length);
    if (std::memcmp(m_buffer.constData(), magic, magicBytes) != 0 || length > maxReplyBytes || !m_sent) {
      failAll();
      return;
    }
    if (m_buffer.size() < headerBytes + static_cast<qint64>(length)) return;
    QByteArray payload = m_buffer.mid(headerBytes, length);
    m_buffer.remove(0, headerBytes + length);
    Reply reply = std::move(m_queue.front().reply);
    m_queue.pop_front();
    m_sent = false;
    m_timeout.stop();
    if (reply) reply(std::move(payload));
    sendNext();
  }
}

void SwayIpc::failAll() {
  m_timeout.stop();
  std::deque<Pending> failed;
  failed.swap(m_queue);
  m_sent = false;
  m_buffer.clear();
  m_socket.abort();
  for (Pending& pending : failed) {
    if (pending.reply) pending.reply(std::nullopt);
  }
}
