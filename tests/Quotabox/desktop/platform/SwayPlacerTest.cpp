#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <cstring>
#include <deque>

#include "EventLoop.h"
#include "PlacerAnswer.h"
#include "platform/SwayPlacer.h"

namespace {

// Replies shaped like sway 1.7's: two outputs side by side, a 30-px bar on the first.
const QByteArray outputs = R"([
  {"id": 3, "type": "output", "name": "HEADLESS-1", "active": true, "focused": false, "scale": 1.0,
   "rect": {"x": 0, "y": 0, "width": 1280, "height": 720}, "current_workspace": "1"},
  {"id": 5, "type": "output", "name": "HEADLESS-2", "active": true, "focused": true, "scale": 2.0,
   "rect": {"x": 1280, "y": 0, "width": 1280, "height": 800}, "current_workspace": "2"},
  {"id": 7, "type": "output", "name": "HDMI-A-1", "active": false, "focused": false,
   "rect": {"x": 0, "y": 0, "width": 0, "height": 0}, "current_workspace": null}
])";
const QByteArray workspaces = R"([
  {"id": 4, "type": "workspace", "name": "1", "output": "HEADLESS-1", "visible": true, "focused": false,
   "rect": {"x": 0, "y": 30, "width": 1280, "height": 690}},
  {"id": 6, "type": "workspace", "name": "2", "output": "HEADLESS-2", "visible": true, "focused": true,
   "rect": {"x": 1280, "y": 0, "width": 1280, "height": 800}}
])";
const QByteArray notMapped = R"([{"success": false, "parse_error": false, "error": "No matching node."}])";
const QByteArray moved = R"([{"success": true}, {"success": true}])";

// Stands in for sway's IPC socket: records each request and answers it from `answers` (by type),
// at once or, while held, when released.
class FakeSway : public QObject {
 public:
  FakeSway() {
    path = dir.filePath(QStringLiteral("sway-ipc.sock"));
    server.listen(path);
    connect(&server, &QLocalServer::newConnection, this, [this] {
      QLocalSocket* socket = server.nextPendingConnection();
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
    });
  }

  void release() {
    for (const QByteArray& reply : held) client->write(reply);
    held.clear();
  }

  QTemporaryDir dir;
  QString path;
  QLocalServer server;
  std::map<quint32, std::deque<QByteArray>> answers;
  std::vector<std::pair<quint32, QByteArray>> requests;
  std::vector<QByteArray> rawRequests;
  bool hold = false;
  // Written instead of any answer, as it is.
  std::optional<QByteArray> raw;
  std::vector<QByteArray> held;
  QLocalSocket* client = nullptr;

 private:
  void read(QLocalSocket* socket) {
    client = socket;
    buffer.append(socket->readAll());
    while (buffer.size() >= SwayIpc::headerBytes) {
      quint32 length = 0;
      quint32 type = 0;
      std::memcpy(&length, buffer.constData() + 6, 4);
      std::memcpy(&type, buffer.constData() + 10, 4);
      if (buffer.size() < SwayIpc::headerBytes + static_cast<qint64>(length)) return;
      rawRequests.push_back(buffer.left(SwayIpc::headerBytes + length));
      requests.emplace_back(type, buffer.mid(SwayIpc::headerBytes, length));
      buffer.remove(0, SwayIpc::headerBytes + length);
      if (raw) {
        socket->write(*raw);
        continue;
      }
      auto& queue = answers[type];
      if (queue.empty()) continue;  // silent
      const QByteArray reply = SwayIpc::frame(type, queue.front());
      if (queue.size() > 1) queue.pop_front();
      if (hold) {
        held.push_back(reply);
      } else {
        socket->write(reply);
      }
    }
  }

  QByteArray buffer;
};

}  // namespace

TEST(SwayPlacerTest, FindsTheOutputUnderThePointAndWhatItsBarsLeaveFree) {
  struct Case {
    const char* name;
    std::optional<QPointF> point;
    QByteArray workspaces;
    std::optional<PopoverArea> area;
  };
  const PopoverArea first{{0, 0, 1280, 720}, {0, 30, 1280, 690}};
  const PopoverArea second{{1280, 0, 1280, 800}, {1280, 0, 1280, 800}};
  const Case cases[] = {
      {"point on the first output", QPointF(1260, 15), workspaces, first},
      {"point on the second output", QPointF(1300, 799), workspaces, second},
      {"no point: the focused output", std::nullopt, workspaces, second},
      {"point off every output: the focused one", QPointF(-50, 10), workspaces, second},
      {"no workspace answer: a panel's worth less", QPointF(10, 10), "", PopoverArea{first.screen, {0, 0, 1280, 672}}},
      {"workspace rectangle outside its output is ignored", QPointF(10, 10),
       R"([{"name": "1", "output": "HEADLESS-1", "visible": true, "rect": {"x": 0, "y": 30, "width": 1280, "height": 900}}])",
       PopoverArea{first.screen, {0, 0, 1280, 672}}},
  };
  for (const Case& c : cases) {
    const auto area = SwayPlacer::areaFrom(outputs, c.workspaces, c.point);
    ASSERT_EQ(area.has_value(), c.area.has_value()) << c.name;
    EXPECT_EQ(area->screen, c.area->screen) << c.name;
    EXPECT_EQ(area->available, c.area->available) << c.name;
  }

  for (const QByteArray& bad :
       {QByteArray("{\"rect\": 1}"), QByteArray("[{\"active\": false}]"), QByteArray("[1, 2"), QByteArray()}) {
    EXPECT_FALSE(SwayPlacer::areaFrom(bad, workspaces, QPointF(10, 10))) << bad.constData();
  }
}

TEST(SwayPlacerTest, ACommandSucceedsOnlyWhenEveryPartDid) {
  EXPECT_TRUE(SwayPlacer::commandSucceeded(moved));
  EXPECT_FALSE(SwayPlacer::commandSucceeded(notMapped));
  EXPECT_FALSE(SwayPlacer::commandSucceeded(R"([{"success": true}, {"success": false}])"));
  EXPECT_FALSE(SwayPlacer::commandSucceeded("[]"));
  EXPECT_FALSE(SwayPlacer::commandSucceeded("not json"));
  EXPECT_EQ(SwayPlacer::moveCommand(4242, {912, 30}),
            QByteArray("[pid=4242] floating enable, move absolute position 912 30"));
}

TEST(SwayPlacerTest, LooksUpOverTheSocketAndRetriesTheMoveUntilTheWindowIsMapped) {
  FakeSway sway;
  sway.answers[SwayIpc::getOutputs] = {outputs};
  sway.answers[SwayIpc::getWorkspaces] = {workspaces};
  sway.answers[SwayIpc::runCommand] = {notMapped, notMapped, moved};
  SwayPlacer placer(sway.path, 4242);

  AreaResult result;
  placer.lookUp(QPointF(1260, 15), recordInto(result));
  ASSERT_TRUE(waitUntil([&] { return result.called; }));
  ASSERT_TRUE(result.area);
  EXPECT_EQ(result.area->available, QRectF(0, 30, 1280, 690));
  // The wire form: magic, length and type in native order, no payload.
  ASSERT_EQ(sway.rawRequests.size(), 2u);
  EXPECT_EQ(sway.rawRequests[0], SwayIpc::frame(SwayIpc::getOutputs, {}));
  EXPECT_EQ(sway.rawRequests[0].left(6), QByteArray("i3-ipc"));
  EXPECT_EQ(sway.requests[1].first, SwayIpc::getWorkspaces);

  placer.moveTo({912, 30});
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == 5; }));
  spinFor(std::chrono::milliseconds(5 * SwayPlacer::retryMs));
  ASSERT_EQ(sway.requests.size(), 5u) << "kept moving after success";
  for (size_t i = 2; i < 5; ++i) {
    EXPECT_EQ(sway.requests[i], std::pair(quint32(SwayIpc::runCommand), SwayPlacer::moveCommand(4242, {912, 30})));
  }
}

TEST(SwayPlacerTest, GivesUpOnAWindowThatNeverAppears) {
  FakeSway sway;
  sway.answers[SwayIpc::runCommand] = {notMapped};
  SwayPlacer placer(sway.path, 4242);
  placer.moveTo({0, 30});
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == size_t(SwayPlacer::maxAttempts); }));
  spinFor(std::chrono::milliseconds(4 * SwayPlacer::retryMs));
  EXPECT_EQ(sway.requests.size(), size_t(SwayPlacer::maxAttempts));
}

TEST(SwayPlacerTest, ASilentBrokenOrMissingCompositorAnswersWithNothing) {
  {
    FakeSway sway;  // answers nothing
    SwayPlacer placer(sway.path, 1);
    AreaResult result;
    placer.lookUp(std::nullopt, recordInto(result));
    spinFor(std::chrono::milliseconds(SwayIpc::timeoutMs / 2));
    EXPECT_FALSE(result.called);
    ASSERT_TRUE(waitUntil([&] { return result.called; }));
    EXPECT_FALSE(result.area);
  }
  {
    // A reply that claims to be larger than any answer sway gives.
    FakeSway sway;
    const quint32 length = SwayIpc::maxReplyBytes + 1;
    const quint32 type = SwayIpc::getOutputs;
    sway.raw = QByteArray("i3-ipc")
                   .append(reinterpret_cast<const char*>(&length), 4)
                   .append(reinterpret_cast<const char*>(&type), 4);
    SwayPlacer placer(sway.path, 1);
    AreaResult result;
    placer.lookUp(std::nullopt, recordInto(result));
    ASSERT_TRUE(waitUntil([&] { return result.called; }, std::chrono::milliseconds(SwayIpc::timeoutMs / 2)));
    EXPECT_FALSE(result.area);
  }
  {
    QTemporaryDir dir;
    SwayPlacer placer(dir.filePath(QStringLiteral("no-such.sock")), 1);
    AreaResult result;
    placer.lookUp(std::nullopt, recordInto(result));
    ASSERT_TRUE(waitUntil([&] { return result.called; }, std::chrono::milliseconds(SwayIpc::timeoutMs / 2)));
    EXPECT_FALSE(result.area);
  }
}

TEST(SwayPlacerTest, ACancelledLookUpIsNeverAnsweredAndItsReplyIsNotTakenForTheNext) {
  FakeSway sway;
  sway.answers[SwayIpc::getOutputs] = {outputs};
  sway.answers[SwayIpc::runCommand] = {moved};
  sway.hold = true;
  SwayPlacer placer(sway.path, 7);
  AreaResult result;
  placer.lookUp(QPointF(10, 10), recordInto(result));
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == 1; }));
  placer.cancel();
  placer.moveTo({5, 30});
  sway.release();
  // The outputs reply is read and dropped; the command's success reply is the move's, so no retry.
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == 2; }));
  sway.release();
  spinFor(std::chrono::milliseconds(6 * SwayPlacer::retryMs));
  EXPECT_FALSE(result.called);
  ASSERT_EQ(sway.requests.size(), 2u);
  EXPECT_EQ(sway.requests[1].first, SwayIpc::runCommand);
}
