#include <QTemporaryDir>

#include "LogCapture.h"
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
class SnapshotterRenderTest : public SandboxedTest {};
}  // namespace

TEST_F(SnapshotterRenderTest, RendersBothPagesWithoutQtWarnings) {
  QTemporaryDir folder;
  const auto model = Snapshotter::loadedModel(LaunchOptions::Source::mock(MockUsageProvider::Scenario::high),
                                              SettingsDomain::suite(QStringLiteral("com.orrisfen.Quotabox.tests")));
  // With a known permission the settings page shows the notification status too.
  model->notifier().refreshAuthorization();
  ASSERT_NE(model->notifier().authorization(), ThresholdNotifier::Authorization::unknown);
  LogCapture log;
  EXPECT_TRUE(Snapshotter::render(new UsageView(*model), "dark", folder.filePath("usage.png")));
  EXPECT_TRUE(Snapshotter::render(new SettingsView(*model), "light", folder.filePath("settings.png")));
  EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join('\n').toStdString();
}
