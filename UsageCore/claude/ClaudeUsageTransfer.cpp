#include "claude/ClaudeUsageTransfer.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// Errors Qt derives from an HTTP status (4xx, 5xx): the answer itself arrived complete.
bool isStatusError(QNetworkReply::NetworkError error) {
  return error == QNetworkReply::NoError ||
         (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
         (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

QNetworkRequest networkRequest(const ClaudeUsageRequest& request) {
  QNetworkRequest result(request.url);
  result.setTransferTimeout(static_cast<int>(request.timeout.count()));
  result.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  result.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  result.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  result.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  result.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  for (const auto& [name, value] : request.headers) result.setRawHeader(name, value);
  return result;
}

}  // namespace

QByteArray ClaudeUsageResponse::header(const QByteArray& name) const {
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
  }
  return {};
}

namespace ClaudeUsageTransfer {

ClaudeUsageResponse perform(const ClaudeUsageRequest& request, std::chrono::milliseconds limit) {
  // A manager per exchange: nothing (connections, cookies, answers) is carried to the next one.
  QNetworkAccessManager manager;
  manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  QNetworkReply* reply = manager.get(networkRequest(request));

  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer limitTimer;
  limitTimer.setSingleShot(true);
  bool limitReached = false;
  QObject::connect(&limitTimer, &QTimer::timeout, reply, [&] {
    limitReached = true;
    reply->abort();
  });
  limitTimer.start(limit);
  if (!reply->isFinished()) loop.exec();
  limitTimer.stop();

  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (limitReached || !status.isValid() || !isStatusError(reply->error())) {
    throw TransportError(limitReached ? "transfer took too long" : "transfer failed");
  }

  ClaudeUsageResponse response;
  response.statusCode = status.toInt();
  for (const auto& [name, value] : reply->rawHeaderPairs()) response.headers.emplace_back(name, value);
  response.body = reply->readAll();
  return response;
}

ClaudeUsageRequestFunction withLimit(std::chrono::milliseconds limit) {
  return [limit](const ClaudeUsageRequest& request) { return perform(request, limit); };
}

}  // namespace ClaudeUsageTransfer
