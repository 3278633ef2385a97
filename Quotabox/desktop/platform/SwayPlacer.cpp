#include "platform/SwayPlacer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/JsonRect.h"

namespace {

std::optional<QJsonArray> jsonArray(const QByteArray& text) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(text, &error);
  if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
  return document.array();
}

}  // namespace

SwayPlacer::SwayPlacer(QString socketPath, qint64 pid, QObject* parent)
    : PopoverPlacer(parent), m_ipc(std::move(socketPath)), m_pid(pid) {
  m_retry.setSingleShot(true);
  m_retry.setInterval(retryMs);
  connect(&m_retry, &QTimer::timeout, this, &SwayPlacer::sendMove);
}

std::unique_ptr<SwayPlacer> SwayPlacer::fromEnvironment() {
  QString socket = qEnvironmentVariable("SWAYSOCK");
  if (socket.isEmpty()) socket = qEnvironmentVariable("I3SOCK");
  if (socket.isEmpty()) return nullptr;
  return std::make_unique<SwayPlacer>(socket, QCoreApplication::applicationPid());
}

std::optional<PopoverArea> SwayPlacer::areaFrom(const QByteArray& outputs, const QByteArray& workspaces,
                                                std::optional<QPointF> point) {
  const auto outputList = jsonArray(outputs);
  if (!outputList) return std::nullopt;
  std::optional<QJsonObject> chosen;
  std::optional<QJsonObject> focused;
  std::optional<QJsonObject> first;
  for (const QJsonValue& value : *outputList) {
    const QJsonObject output = value.toObject();
    const auto rect = jsonRect(output.value(QLatin1String("rect")));
    if (!output.value(QLatin1String("active")).toBool() || !rect) continue;
    if (!first) first = output;
    if (output.value(QLatin1String("focused")).toBool()) focused = output;
    if (point && !chosen && rect->contains(*point)) chosen = output;
  }
  if (!chosen) chosen = focused ? focused : first;
  if (!chosen) return std::nullopt;

  PopoverArea area;
  area.screen = *jsonRect(chosen->value(QLatin1String("rect")));
  area.available = area.screen.adjusted(0, 0, 0, -PopoverPlacement::unknownPanels);
  const QString name = chosen->value(QLatin1String("name")).toString();
  const QString current = chosen->value(QLatin1String("current_workspace")).toString();
  for (const QJsonValue& value : jsonArray(workspaces).value_or(QJsonArray())) {
    const QJsonObject workspace = value.toObject();
    if (workspace.value(QLatin1String("output")).toString() != name) continue;
    if (workspace.value(QLatin1String("name")).toString() != current &&
        !workspace.value(QLatin1String("visible")).toBool()) {
      continue;
    }
    // A workspace covers what the bars' exclusive zones leave of its output.
    if (const auto rect = jsonRect(workspace.value(QLatin1String("rect"))); rect && area.screen.contains(*rect))
      area.available = *rect;
    break;
  }
  return area;
}

QByteArray SwayPlacer::moveCommand(qint64 pid, QPoint topLeft) {
  return QStringLiteral("[pid=%1] floating enable, move absolute position %2 %3")
      .arg(pid)
      .arg(topLeft.x())
      .arg(topLeft.y())
      .toUtf8();
}

bool SwayPlacer::commandSucceeded(const QByteArray& reply) {
  const auto results = jsonArray(reply);
  if (!results || results->isEmpty()) return false;
  for (const QJsonValue& result : *results) {
    if (!result.toObject().value(QLatin1String("success")).toBool()) return false;
  }
  return true;
}

void SwayPlacer::lookUp(std::optional<QPointF> point, AreaHandler done) {
  auto handler = std::make_shared<AreaHandler>(std::move(done));
  m_ipc.request(SwayIpc::getOutputs, {}, [this, point, handler](std::optional<QByteArray> outputs) {
    if (!outputs) {
      (*handler)(std::nullopt);
      return;
    }
    m_ipc.request(SwayIpc::getWorkspaces, {},
                  [point, handler, outputs = std::move(*outputs)](std::optional<QByteArray> workspaces) {
                    (*handler)(areaFrom(outputs, workspaces.value_or(QByteArray()), point));
                  });
  });
}

void SwayPlacer::moveTo(QPoint topLeft) {
  m_target = topLeft;
  m_attempts = 0;
  m_retry.stop();
  sendMove();
}

void SwayPlacer::sendMove() {
  ++m_attempts;
  m_ipc.request(SwayIpc::runCommand, moveCommand(m_pid, m_target), [this](std::optional<QByteArray> reply) {
    // Fails while the window is not mapped yet; a compositor that does not answer is left alone.
    if (reply && !commandSucceeded(*reply) && m_attempts < maxAttempts) m_retry.start();
  });
}

void SwayPlacer::cancel() {
  m_retry.stop();
  m_ipc.cancel();
}
