#include "http/ClaudeUsageNetwork.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

QNetworkRequest networkRequest(const ClaudeUsageRequest& request) {
  QNetworkRequest result(request.url);
  result.setTransferTimeout(static_cast<int>(request.timeout.count()));
  result.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  result.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  result.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  result.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  result.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  // Qt's own default imitates a browser; say who is asking instead.
  result.setHeader(QNetworkRequest::UserAgentHeader, ClaudeUsageTransfer::userAgent());
  for (const auto& [name, value] : request.headers) result.setRawHeader(name, value);
  return result;
}

constexpr qint64 kReadAhead = 64 * 1024;

bool isSuccess(int status) { return status >= 200 && status <= 299; }

// Why the exchange was cut short, if it was.
enum class Abort { none, limit, cancelled, tooLarge };

}  // namespace

namespace ClaudeUsageTransfer {

ClaudeUsageResponse perform(const ClaudeUsageRequest& request, std::chrono::milliseconds limit) {
  if (request.stop.stop_requested()) throw TransportError("cancelled");

  // A manager per exchange: nothing (connections, cookies, answers) is carried to the next one.
  QNetworkAccessManager manager;
  manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  QNetworkReply* reply = manager.get(networkRequest(request));

  Abort aborted = Abort::none;
  const auto abortFor = [&](Abort reason) {
    if (aborted != Abort::none) return;
    aborted = reason;
    reply->abort();
  };
  // Qt reads ahead of us only this far, and the body is taken out as it arrives, so the cap holds
  // while the answer streams, with or without a length, chunked or not.
  reply->setReadBufferSize(kReadAhead);
  QByteArray body;
  const auto checkSize = [&] {
    const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (declared > kMaxBodyBytes) abortFor(Abort::tooLarge);
  };
  const auto takeBody = [&] {
    if (aborted != Abort::none) return;
    body += reply->read(kMaxBodyBytes + 1 - body.size());
    if (body.size() > kMaxBodyBytes) abortFor(Abort::tooLarge);
  };

  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, checkSize);
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, takeBody);
  QTimer limitTimer;
  limitTimer.setSingleShot(true);
  QObject::connect(&limitTimer, &QTimer::timeout, &loop, [&] { abortFor(Abort::limit); });
  limitTimer.start(limit);
  // Fires on the thread that cancels; the abort itself runs here, inside the loop. Declared after
  // the reply and the loop so that it is gone before them.
  const std::stop_callback onStop(request.stop, [&loop, &abortFor] {
    QMetaObject::invokeMethod(
        &loop, [&abortFor] { abortFor(Abort::cancelled); }, Qt::QueuedConnection);
  });
  if (!reply->isFinished()) loop.exec();
  limitTimer.stop();

  if (aborted == Abort::cancelled) throw TransportError("cancelled");
  // The status decides when there is one, whatever Qt made of it (400, 407 and 418 come as
  // non-HTTP errors), so a refused request is never mistaken for a network fault.
  const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
  const bool refused = statusAttribute.isValid() && !isSuccess(status);
  if (!refused) {
    if (aborted == Abort::tooLarge) throw ResponseTooLargeError("usage answer too large");
    if (aborted == Abort::limit) throw TransportError("transfer took too long");
    if (!statusAttribute.isValid() || reply->error() != QNetworkReply::NoError) throw TransportError("transfer failed");
  }

  ClaudeUsageResponse response;
  response.statusCode = status;
  for (const auto& [name, value] : reply->rawHeaderPairs()) response.headers.emplace_back(name, value);
  if (aborted == Abort::none) {
    takeBody();
    response.body = std::move(body);
    if (response.body.size() > kMaxBodyBytes && !refused) throw ResponseTooLargeError("usage answer too large");
  }
  return response;
}

ClaudeUsageRequestFunction withLimit(std::chrono::milliseconds limit) {
  return [limit](const ClaudeUsageRequest& request) { return perform(request, limit); };
}

Outcome performInto(const ClaudeUsageRequest& request, std::chrono::milliseconds limit,
                    ClaudeUsageResponse& response) noexcept {
  try {
    response = perform(request, limit);
    return Outcome::answered;
  } catch (const ResponseTooLargeError&) {
    return Outcome::tooLarge;
  } catch (...) {
    // Also an allocation failure: the caller gets no answer either way.
    return Outcome::transportFailed;
  }
}

}  // namespace ClaudeUsageTransfer
