#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <cstring>
#include <deque>
#include <map>

#include "EventLoop.h"
#include "PlacerAnswer.h"
#include "TestSandbox.h"
#include "platform/SwayPlacer.h"

namespace {

// Replies shaped like sway 1.7's: two outputs side by side, a 30-px bar on the first.
const QByteArray outputs = fixture("sway-get-outputs.json");
const QByteArray workspaces = fixture("sway-get-workspaces.json");
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
  bool hold = false;
  // Written instead of any answer, as it is.
  std::optional<QByteArray> raw;
  std::vector<QByteArray> held;
  QLocalSocket* client = nullptr;

 private:
  void read(QLocalSocket* socket) {
    client = socket;
    buffer.append(socket->readAll());
    // Only a request that starts with the magic string gets an answer.
    while (buffer.size() >= SwayIpc::headerBytes && buffer.startsWith("i3-ipc")) {
      quint32 header[2];  // length, type
      std::memcpy(header, buffer.constData() + 6, sizeof header);
      const qint64 size = SwayIpc::headerBytes + qint64(header[0]);
      if (buffer.size() < size) return;
      requests.emplace_back(header[1], buffer.mid(SwayIpc::headerBytes, header[0]));
      buffer.remove(0, size);
      auto& queue = answers[header[1]];
      if (!raw && queue.empty()) continue;  // silent
      const QByteArray reply = raw ? *raw : SwayIpc::frame(header[1], queue.front());
      if (!raw && queue.size() > 1) queue.pop_front();
      hold ? held.push_back(reply) : void(socket->write(reply));
    }
  }

  QByteArray buffer;
};

}  // namespace

// The area a placer found, as (screen, available); nothing when it found none.
std::optional<std::pair<QRectF, QRectF>> rects(const std::optional<PopoverArea>& area) {
  return area ? std::optional(std::pair(area->screen, area->available)) : std::nullopt;
}

TEST(SwayPlacerTest, FindsTheOutputUnderThePointAndWhatItsBarsLeaveFree) {
  const std::pair first{QRectF(0, 0, 1280, 720), QRectF(0, 30, 1280, 690)};
  const std::pair second{QRectF(1280, 0, 1280, 800), QRectF(1280, 0, 1280, 800)};
  const std::pair firstLessAPanel{first.first, QRectF(0, 0, 1280, 672)};
  const std::tuple<const char*, std::optional<QPointF>, QByteArray, std::pair<QRectF, QRectF>> cases[] = {
      {"point on the first output", QPointF(1260, 15), workspaces, first},
      {"point on the second output", QPointF(1300, 799), workspaces, second},
      {"no point: the focused output", std::nullopt, workspaces, second},
      {"no workspace answer: a panel's worth less", QPointF(10, 10), "", firstLessAPanel},
      {"workspace rectangle outside its output is ignored", QPointF(10, 10),
       R"([{"name": "1", "output": "HEADLESS-1", "visible": true, "rect": {"x": 0, "y": 30, "width": 1280, "height": 900}}])",
       firstLessAPanel},
  };
  for (const auto& [name, point, answer, area] : cases) {
    EXPECT_EQ(rects(SwayPlacer::areaFrom(outputs, answer, point)), area) << name;
  }
  for (const char* bad : {"{\"rect\": 1}", "[{\"active\": false}]", "[1, 2", ""}) {
    EXPECT_FALSE(SwayPlacer::areaFrom(bad, workspaces, QPointF(10, 10))) << bad;
  }
}

TEST(SwayPlacerTest, ACommandSucceedsOnlyWhenEveryPartDid) {
  const std::pair<QByteArray, bool> replies[] = {
      {moved, true}, {R"([{"success": true}, {"success": false}])", false}, {"[]", false}, {"not json", false}};
  for (const auto& [reply, ok] : replies) EXPECT_EQ(SwayPlacer::commandSucceeded(reply), ok) << reply.data();
  EXPECT_EQ(SwayPlacer::moveCommand(4242, {912, 30}),
            QByteArray("[pid=4242] floating enable, move absolute position 912 30"));
}

TEST(SwayPlacerTest, LooksUpOverTheSocketAndRetriesTheMoveUntilTheWindowIsMappedOrGivesUp) {
  FakeSway sway;
  sway.answers[SwayIpc::getOutputs] = {outputs};
  sway.answers[SwayIpc::getWorkspaces] = {workspaces};
  sway.answers[SwayIpc::runCommand] = {notMapped, notMapped, moved};
  SwayPlacer placer(sway.path, 4242);

  AreaResult result;
  placer.lookUp(QPointF(1260, 15), recordInto(result));
  ASSERT_TRUE(waitUntil([&] { return result.called; }));
  EXPECT_EQ(result.area.value_or(PopoverArea{}).available, QRectF(0, 30, 1280, 690));
  ASSERT_EQ(sway.requests.size(), 2u);
  EXPECT_EQ(sway.requests[1], std::pair(quint32(SwayIpc::getWorkspaces), QByteArray()));

  placer.moveTo({912, 30});
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == 5; }));
  spinFor(std::chrono::milliseconds(5 * SwayPlacer::retryMs));
  ASSERT_EQ(sway.requests.size(), 5u) << "kept moving after success";
  EXPECT_EQ(sway.requests.back(), std::pair(quint32(SwayIpc::runCommand), SwayPlacer::moveCommand(4242, {912, 30})));

  // A window that never appears: a bounded number of attempts.
  sway.requests.clear();
  sway.answers[SwayIpc::runCommand] = {notMapped};
  placer.moveTo({0, 30});
  ASSERT_TRUE(waitUntil([&] { return sway.requests.size() == size_t(SwayPlacer::maxAttempts); }));
  spinFor(std::chrono::milliseconds(4 * SwayPlacer::retryMs));
  EXPECT_EQ(sway.requests.size(), size_t(SwayPlacer::maxAttempts));
}

TEST(SwayPlacerTest, ASilentBrokenOrMissingCompositorAnswersWithNothing) {
  FakeSway silent, broken;
  // A reply that claims to be larger than any answer sway gives.
  const quint32 header[] = {SwayIpc::maxReplyBytes + 1, SwayIpc::getOutputs};
  broken.raw = QByteArray("i3-ipc").append(reinterpret_cast<const char*>(header), sizeof header);
  AreaResult fromSilent, fromBroken, fromMissing;
  {
    SwayPlacer placer(silent.path, 1);
    placer.lookUp(std::nullopt, recordInto(fromSilent));
    spinFor(std::chrono::milliseconds(SwayIpc::timeoutMs / 2));
    EXPECT_FALSE(fromSilent.called) << "gave up before the time-out";
    ASSERT_TRUE(waitUntil([&] { return fromSilent.called; }));
  }
  const auto answersSoon = [](const QString& path, AreaResult& result) {
    SwayPlacer placer(path, 1);
    placer.lookUp(std::nullopt, recordInto(result));
    return waitUntil([&] { return result.called; }, std::chrono::milliseconds(SwayIpc::timeoutMs / 2));
  };
  EXPECT_TRUE(answersSoon(broken.path, fromBroken));
  EXPECT_TRUE(answersSoon(silent.dir.filePath(QStringLiteral("no-such.sock")), fromMissing));
  for (const AreaResult* result : {&fromSilent, &fromBroken, &fromMissing}) EXPECT_FALSE(result->area);
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
