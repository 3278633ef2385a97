#include "HttpTestServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

constexpr qsizetype kMaxRequestHead = 64 * 1024;

std::optional<HttpTestRequest> parseHead(const QByteArray& head) {
  const QList<QByteArray> lines = head.split('\n');
  const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
  if (requestLine.size() != 3) return std::nullopt;
  HttpTestRequest request{requestLine[0], requestLine[1], {}};
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray line = lines[i].trimmed();
    if (line.isEmpty()) continue;
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return std::nullopt;
    request.headers.emplace_back(line.left(colon), line.mid(colon + 1).trimmed());
  }
  return request;
}

QByteArray responseHead(const HttpTestResponse& response, qsizetype contentLength) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  head += "Content-Length: " + QByteArray::number(contentLength) + "\r\nConnection: close\r\n\r\n";
  return head;
}

void trickle(QTcpSocket* socket, const HttpTestResponse& response) {
  socket->write(responseHead(response, 1024 * 1024));
  auto* timer = new QTimer(socket);
  QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
  timer->start(response.trickleInterval);
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
  HttpTestResponse response;
  response.status = status;
  response.reason = status == 200 ? "OK" : "Status";
  response.headers = {{"Content-Type", "application/json"}};
  response.body = std::move(body);
  return response;
}

HttpTestServer::HttpTestServer() {
  if (!m_server.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen on loopback");
  QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
  respondWith(HttpTestResponse::json(200, "{}"));
}

HttpTestServer::~HttpTestServer() { m_server.close(); }

quint16 HttpTestServer::port() const { return m_server.serverPort(); }

QString HttpTestServer::url(const QString& path) const {
  return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void HttpTestServer::respondWith(HttpTestResponse response) {
  m_handler = [response](const HttpTestRequest&) { return response; };
}

void HttpTestServer::accept() {
  while (QTcpSocket* socket = m_server.nextPendingConnection()) {
    socket->setParent(&m_server);
    struct Pending {
      QByteArray head;
      bool answered = false;
    };
    auto pending = std::make_shared<Pending>();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending] {
      if (pending->answered) return;
      pending->head.append(socket->readAll());
      const qsizetype end = pending->head.indexOf("\r\n\r\n");
      if (end < 0 && pending->head.size() < kMaxRequestHead) return;
      const auto request = end < 0 ? std::nullopt : parseHead(pending->head.left(end));
      pending->answered = true;
      if (!request) {
        socket->disconnectFromHost();
        return;
      }
      m_requests.push_back(*request);
      const HttpTestResponse response = m_handler(*request);
      switch (response.mode) {
        case HttpTestResponse::Mode::respond:
          socket->write(responseHead(response, response.body.size()) + response.body);
          socket->disconnectFromHost();
          break;
        case HttpTestResponse::Mode::stall:
          break;
        case HttpTestResponse::Mode::trickle:
          trickle(socket, response);
          break;
      }
    });
  }
}
