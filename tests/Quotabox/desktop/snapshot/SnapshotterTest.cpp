#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include "TestSandbox.h"
#include "appmodel/AppModel.h"
#include "settings/SettingsDomain.h"
#include "snapshot/Snapshotter.h"
#include "views/SettingsView.h"
#include "views/UsageView.h"

TEST(SnapshotterTintTest, OnlyTheShapeTakesTheColourAndKeepsItsCoverage) {
  QImage shape(8, 4, QImage::Format_ARGB32_Premultiplied);
  shape.setDevicePixelRatio(2);
  shape.fill(Qt::transparent);
  shape.setPixelColor(1, 1, QColor(0, 0, 0, 255));
  shape.setPixelColor(2, 1, QColor(0, 0, 0, 128));

  const QImage white = Snapshotter::tinted(shape, Qt::white);
  EXPECT_TRUE(white.size() == shape.size() && white.devicePixelRatio() == 2);
  EXPECT_EQ(white.pixelColor(1, 1), QColor(255, 255, 255, 255));
  const QColor half = white.pixelColor(2, 1);
  EXPECT_NEAR(half.alpha(), 128, 1);
  EXPECT_GE(half.red(), 250);
  EXPECT_EQ(white.pixelColor(0, 0).alpha(), 0);
}

namespace {
QStringList g_messages;
void collect(QtMsgType, const QMessageLogContext&, const QString& message) { g_messages << message; }

class SnapshotterRenderTest : public SandboxedTest {};
}  // namespace

TEST_F(SnapshotterRenderTest, RendersBothPagesWithoutQtWarnings) {
  QTemporaryDir folder;
  LaunchOptions::Source source = LaunchOptions::Source::mock(MockUsageProvider::Scenario::high);
  const auto model =
      Snapshotter::loadedModel(source, SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests")));
  // With a known permission the settings page shows the notification status too.
  model->notifier().refreshAuthorization();
  ASSERT_NE(model->notifier().authorization(), ThresholdNotifier::Authorization::unknown);
  g_messages.clear();
  const QtMessageHandler previous = qInstallMessageHandler(collect);
  const bool usage = Snapshotter::render(new UsageView(*model), "dark", folder.filePath("usage.png"));
  const bool settings = Snapshotter::render(new SettingsView(*model), "light", folder.filePath("settings.png"));
  qInstallMessageHandler(previous);
  EXPECT_TRUE(usage && settings);
  EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join('\n').toStdString();
}
