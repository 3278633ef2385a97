#include <QFile>
#include <QUuid>

#include "BusPeer.h"
#include "PlacerAnswer.h"
#include "platform/KWinPlacer.h"

namespace {

const QString report = QStringLiteral(
    R"({"screen": {"x": 0, "y": 0, "width": 1280, "height": 720}, "available": {"x": 0, "y": 0, "width": 1280, "height": 676}})");

// Stands in for KWin's scripting service on its own bus connection: records the scripts it is
// given (with their file permissions) and, when told to, answers an area script the way the script
// would, by calling the placer back over D-Bus.
struct FakeKWin {
  struct Loaded {
    QString text;
    QFile::Permissions permissions;
    QString plugin;
    bool ran = false;
  };
  std::vector<Loaded> scripts;
  std::vector<QString> unloaded;
  std::optional<QString> areaReport;  // what the next area script reports, if anything
  const QString name = QStringLiteral("org.kde.KWin.test%1").arg(QUuid::createUuid().toString(QUuid::Id128));
  FakeBusObject object{[this](const QDBusMessage& message) { return handle(message); }};
  BusPeer peer{name, "/", object, name};

  std::optional<QVariant> handle(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (message.member() == QLatin1String("loadScript") && args.size() == 2) {
      QFile file(args[0].toString());
      if (!file.open(QIODevice::ReadOnly)) return -1;
      scripts.push_back({QString::fromUtf8(file.readAll()), file.permissions(), args[1].toString()});
      return int(scripts.size());
    }
    if (message.member() == QLatin1String("unloadScript")) {
      unloaded.push_back(args.value(0).toString());
      return true;
    }
    if (message.member() != QLatin1String("run")) return std::nullopt;
    const std::size_t index = message.path().mid(1).toUInt() - 1;
    if (index >= scripts.size()) return QVariant();
    scripts[index].ran = true;
    if (scripts[index].text.contains(QLatin1String("reportArea")) && areaReport) {
      // As the script would: call back the service and path written into it.
      QDBusMessage call = QDBusMessage::createMethodCall(
          QDBusConnection::sessionBus().baseService(), QString::fromLatin1(KWinPlacer::objectPath),
          QStringLiteral("com.orrisfen.Quotabox.PopoverPlacer"), QStringLiteral("reportArea"));
      call << *areaReport;
      peer.bus.send(call);
    }
    return QVariant();
  }
};

}  // namespace

TEST(KWinPlacerTest, AnAreaScriptReportsBackAndTheMoveScriptFollowsIt) {
  ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
  FakeKWin kwin;
  kwin.areaReport = report;
  KWinPlacer placer(QDBusConnection::sessionBus(), 4242, kwin.name);

  AreaResult result;
  placer.lookUp(QPointF(1260, 700), recordInto(result));
  ASSERT_TRUE(waitUntil([&] { return result.called; }));
  ASSERT_TRUE(result.area);
  EXPECT_EQ(std::pair(result.area->screen, result.area->available),
            std::pair(QRectF(0, 0, 1280, 720), QRectF(0, 0, 1280, 676)));
  ASSERT_EQ(kwin.scripts.size(), 1u);
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
  placer.lookUp(std::nullopt, recordInto(silent));
  ASSERT_TRUE(waitUntil([&] { return silent.called; }, std::chrono::milliseconds(KWinPlacer::answerTimeoutMs * 3)));
  EXPECT_FALSE(silent.area);

  int answers = 0;
  kwin.areaReport = report;
  placer.lookUp(std::nullopt, [&](std::optional<PopoverArea>) { ++answers; });
  placer.cancel();
  // Its script still runs and reports; the report finds nobody waiting.
  ASSERT_TRUE(waitUntil([&] { return kwin.scripts.size() == 2 && kwin.scripts[1].ran; }));
  spinFor(std::chrono::milliseconds(200));
  EXPECT_EQ(answers, 0);

  for (const QString& bad : {QStringLiteral("[]"), QStringLiteral("{\"screen\": {}}"),
                             // A free area larger than its screen.
                             QStringLiteral(R"({"screen": {"x": 0, "y": 0, "width": 10, "height": 10},
                                               "available": {"x": 0, "y": 0, "width": 20, "height": 10}})"),
                             QString(KWinPlacer::maxAnswerBytes + 1, QLatin1Char(' ')) + report}) {
    EXPECT_FALSE(KWinPlacer::areaFromReport(bad)) << bad.left(60).toStdString();
  }
}
