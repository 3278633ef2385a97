#include "HttpTestServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

HttpTestRequest parseHead(const QByteArray& head) {
  const QList<QByteArray> lines = head.split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  HttpTestRequest request{requestLine.value(0), requestLine.value(1), {}};
  for (const QByteArray& line : lines.mid(1)) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) request.headers.emplace_back(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
  }
  return request;
}

// Without a length the body runs until the connection closes.
QByteArray responseHead(const HttpTestResponse& response, std::optional<qsizetype> contentLength) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  if (contentLength) head += "Content-Length: " + QByteArray::number(*contentLength) + "\r\n";
  return head + "Connection: close\r\n\r\n";
}

// Writes `body` in chunks, keeping the send buffer topped up, then closes.
void stream(QTcpSocket* socket, const QByteArray& body) {
  constexpr qsizetype kChunk = 64 * 1024;
  auto sent = std::make_shared<qsizetype>(0);
  const auto topUp = [socket, sent, body] {
    while (socket->bytesToWrite() < 4 * kChunk && *sent < body.size()) {
      socket->write(body.mid(*sent, kChunk));
      *sent += kChunk;
    }
    if (*sent >= body.size() && socket->bytesToWrite() == 0) socket->disconnectFromHost();
  };
  QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
  topUp();
}

// Sends `total` bytes of filler in 64 KiB chunks while the peer keeps reading, then the last chunk.
void streamChunked(QTcpSocket* socket, qint64 total, std::shared_ptr<qint64> taken) {
  constexpr qint64 kChunk = 64 * 1024;
  const QByteArray chunk = QByteArray::number(kChunk, 16) + "\r\n" + QByteArray(kChunk, 'x') + "\r\n";
  auto queued = std::make_shared<qint64>(0);
  const auto topUp = [socket, total, chunk, queued] {
    while (socket->bytesToWrite() < 4 * chunk.size() && *queued < total) {
      socket->write(chunk);
      *queued += kChunk;
      if (*queued >= total) socket->write("0\r\n\r\n");
    }
    if (*queued >= total && socket->bytesToWrite() == 0) socket->disconnectFromHost();
  };
  QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [topUp, taken, chunk](qint64 written) {
    *taken += written * kChunk / chunk.size();
    topUp();
  });
  topUp();
}

}  // namespace

std::vector<QByteArray> HttpTestRequest::header(const QByteArray& name) const {
  std::vector<QByteArray> values;
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) values.push_back(value);
  }
  return values;
}

HttpTestResponse HttpTestResponse::json(int status, QByteArray body) {
  return {status, {{"Content-Type", "application/json"}}, std::move(body)};
}

HttpTestServer::HttpTestServer() : m_response(HttpTestResponse::json(200, "{}")) {
  if (!m_server.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen on loopback");
  QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
}

QString HttpTestServer::url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpTestServer::accept() {
  while (QTcpSocket* socket = m_server.nextPendingConnection()) {
    socket->setParent(&m_server);
    auto head = std::make_shared<std::optional<QByteArray>>(QByteArray());  // none once answered
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head] {
      if (!*head) return;
      (*head)->append(socket->readAll());
      const qsizetype end = (*head)->indexOf("\r\n\r\n");
      if (end < 0) return;
      m_requests.push_back(parseHead((*head)->left(end)));
      head->reset();
      const HttpTestResponse& response = m_response;
      if (response.mode == HttpTestResponse::Mode::respond) {
        socket->write(responseHead(response, response.body.size()) + response.body);
        socket->disconnectFromHost();
      } else if (response.mode == HttpTestResponse::Mode::stream) {
        socket->write(responseHead(response, std::nullopt));
        stream(socket, response.body);
      } else if (response.mode == HttpTestResponse::Mode::chunked) {
        HttpTestResponse head = response;
        head.headers.emplace_back("Transfer-Encoding", "chunked");
        socket->write(responseHead(head, std::nullopt));
        streamChunked(socket, response.chunkedBytes, m_chunkedSent);
      } else if (response.mode == HttpTestResponse::Mode::trickle) {
        socket->write(responseHead(response, 1024 * 1024));
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        timer->start(response.trickleInterval);
      }
    });
  }
}
