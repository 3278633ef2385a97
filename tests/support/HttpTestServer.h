#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpServer>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

using HttpHeaderList = std::vector<std::pair<QByteArray, QByteArray>>;

// One request as it arrived on the wire, headers in their order.
struct HttpTestRequest {
  QByteArray method;
  QByteArray target;
  HttpHeaderList headers;

  // Values of the headers whose name matches case-insensitively.
  std::vector<QByteArray> header(const QByteArray& name) const;
};

struct HttpTestResponse {
  enum class Mode {
    respond,  // the whole answer at once, then close
    stall,    // read the request, never answer
    trickle,  // status line and headers, then one body byte per interval, never finishing
    stream,   // status line and headers without a length, the body in chunks as the peer takes them
    chunked,  // chunked transfer coding: `chunkedBytes` of filler as the peer takes them
  };

  int status = 200;
  HttpHeaderList headers;
  QByteArray body;
  Mode mode = Mode::respond;
  std::chrono::milliseconds trickleInterval{100};
  qint64 chunkedBytes = 0;

  static HttpTestResponse json(int status, QByteArray body = {});
  // The same answer with one more header, or sent in another mode.
  HttpTestResponse with(const QByteArray& name, const QByteArray& value) const {
    HttpTestResponse response = *this;
    response.headers.emplace_back(name, value);
    return response;
  }
  HttpTestResponse in(Mode sending) const {
    HttpTestResponse response = *this;
    response.mode = sending;
    return response;
  }
};

// A loopback HTTP/1.1 server on the thread that creates it (run its event loop, for example with
// awaitFuture, while a client talks to it). Every connection gets one answer and is closed.
class HttpTestServer {
 public:
  HttpTestServer();

  quint16 port() const { return m_server.serverPort(); }
  // "http://127.0.0.1:<port>" followed by the path.
  QString url(const QString& path = "/") const;

  void respondWith(HttpTestResponse response) { m_response = std::move(response); }
  const std::vector<HttpTestRequest>& requests() const { return m_requests; }
  // Body bytes the peers have taken off the sockets of chunked answers so far.
  qint64 chunkedBytesSent() const { return *m_chunkedSent; }

 private:
  void accept();

  QTcpServer m_server;
  HttpTestResponse m_response;
  std::vector<HttpTestRequest> m_requests;
  std::shared_ptr<qint64> m_chunkedSent = std::make_shared<qint64>(0);
};
