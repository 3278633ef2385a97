#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "EventLoop.h"
#include "PlacerAnswer.h"
#include "platform/KWinPlacer.h"

namespace {

const QString report = QStringLiteral(
    R"({"screen": {"x": 0, "y": 0, "width": 1280, "height": 720}, "available": {"x": 0, "y": 0, "width": 1280, "height": 676}})");

// Stands in for KWin's scripting service on its own bus connection: records the scripts it is
// given (with their file permissions) and, when told to, answers an area script the way the script
// would, by calling the placer back over D-Bus.
class FakeKWin : public QDBusVirtualObject {
 public:
  struct Loaded {
    QString text;
    QFile::Permissions permissions;
    QString plugin;
    bool ran = false;
  };

  FakeKWin()
      : name(QStringLiteral("org.kde.KWin.test%1").arg(QUuid::createUuid().toString(QUuid::Id128))),
        bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {
    bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath);
    bus.registerService(name);
  }
  ~FakeKWin() override {
    bus.unregisterService(name);
    bus.unregisterObject(QStringLiteral("/"));
    QDBusConnection::disconnectFromBus(name);
  }

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    const QVariantList args = message.arguments();
    QVariant answer;
    if (message.member() == QLatin1String("loadScript") && args.size() == 2) {
      QFile file(args[0].toString());
      if (file.open(QIODevice::ReadOnly)) {
        scripts.push_back({QString::fromUtf8(file.readAll()), file.permissions(), args[1].toString()});
        answer = static_cast<int>(scripts.size());
      } else {
        answer = -1;
      }
    } else if (message.member() == QLatin1String("unloadScript")) {
      unloaded.push_back(args.value(0).toString());
      answer = true;
    } else if (message.member() == QLatin1String("run")) {
      run(message.path().mid(1).toInt() - 1);
    } else {
      return false;
    }
    connection.send(answer.isValid() ? message.createReply(answer) : message.createReply());
    return true;
  }

  QString name;
  QDBusConnection bus;
  std::vector<Loaded> scripts;
  std::vector<QString> unloaded;
  // What the next area script reports, if anything.
  std::optional<QString> areaReport;

 private:
  void run(int index) {
    if (index < 0 || index >= static_cast<int>(scripts.size())) return;
    Loaded& loaded = scripts[index];
    loaded.ran = true;
    if (!loaded.text.contains(QLatin1String("reportArea")) || !areaReport) return;
    // As the script would: call back the service and path written into it.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), QString::fromLatin1(KWinPlacer::objectPath),
        QStringLiteral("com.orrisfen.Quotabox.PopoverPlacer"), QStringLiteral("reportArea"));
    call << *areaReport;
    bus.send(call);
  }
};

}  // namespace

TEST(KWinPlacerTest, AnAreaScriptReportsBackAndTheMoveScriptFollowsIt) {
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
  FakeKWin kwin;
  kwin.areaReport = report;
  KWinPlacer placer(QDBusConnection::sessionBus(), 4242, kwin.name);

  AreaResult result;
  placer.lookUp(QPointF(1260, 700), [&](std::optional<PopoverArea> area) { result = {true, area}; });
  ASSERT_TRUE(waitUntil([&] { return result.called; }));
  ASSERT_TRUE(result.area);
  EXPECT_EQ(result.area->available, QRectF(0, 0, 1280, 676));
  ASSERT_EQ(kwin.scripts.size(), 1u);
  EXPECT_TRUE(kwin.scripts[0].ran);
  EXPECT_TRUE(kwin.scripts[0].text.contains(QLatin1String("px = 1260, py = 700")));
  // Script files are the user's alone.
  EXPECT_EQ(kwin.scripts[0].permissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);

  // The next script replaces the last, under a name of its own: the last is unloaded first.
  placer.moveTo({912, 632});
  ASSERT_TRUE(waitUntil([&] { return kwin.scripts.size() == 2 && kwin.scripts[1].ran; }));
  EXPECT_EQ(kwin.unloaded, std::vector<QString>{QStringLiteral("quotabox-popover-4242-1")});
  EXPECT_EQ(kwin.scripts[1].plugin, QStringLiteral("quotabox-popover-4242-2"));
  EXPECT_EQ(kwin.scripts[1].text, KWinPlacer::moveScript(4242, {912, 632}));
  EXPECT_TRUE(kwin.scripts[1].text.contains(QLatin1String("w.pid !== 4242")));
  EXPECT_TRUE(kwin.scripts[1].text.contains(QLatin1String("g.x = 912;")));
}

TEST(KWinPlacerTest, NoAnswerABadAnswerOrACancelledLookUp) {
  FakeKWin kwin;
  KWinPlacer placer(QDBusConnection::sessionBus(), 1, kwin.name);

  AreaResult silent;
  placer.lookUp(std::nullopt, [&](std::optional<PopoverArea> area) { silent = {true, area}; });
  ASSERT_TRUE(waitUntil([&] { return silent.called; }, std::chrono::milliseconds(KWinPlacer::answerTimeoutMs * 3)));
  EXPECT_FALSE(silent.area);

  int answers = 0;
  kwin.areaReport = report;
  placer.lookUp(std::nullopt, [&](std::optional<PopoverArea>) { ++answers; });
  placer.cancel();
  spinFor(std::chrono::milliseconds(300));
  EXPECT_EQ(answers, 0);

  for (const QString& bad : {QStringLiteral("[]"), QStringLiteral("{\"screen\": {}}"),
                             // A free area larger than its screen.
                             QStringLiteral(R"({"screen": {"x": 0, "y": 0, "width": 10, "height": 10},
                                               "available": {"x": 0, "y": 0, "width": 20, "height": 10}})"),
                             QString(KWinPlacer::maxAnswerBytes + 1, QLatin1Char(' ')) + report}) {
    EXPECT_FALSE(KWinPlacer::areaFromReport(bad)) << bad.left(60).toStdString();
  }
  const auto area = KWinPlacer::areaFromReport(report);
  ASSERT_TRUE(area);
  EXPECT_EQ(area->screen, QRectF(0, 0, 1280, 720));
}
