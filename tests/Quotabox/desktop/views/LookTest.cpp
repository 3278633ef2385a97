#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <set>

#include "EventLoop.h"
#include "TestSandbox.h"
#include "ViewTestSupport.h"
#include "appmodel/AppModel.h"
#include "style/AppLook.h"
#include "style/SystemColors.h"
#include "views/HistoryClearRow.h"
#include "views/QuotaboxView.h"
#include "views/SettingsView.h"
#include "views/UsageView.h"

using namespace ViewTestSupport;

namespace {

// The desktop portal's Settings on its own bus connection, answering ReadOne with `scheme`.
class FakePortal : public QDBusVirtualObject {
 public:
  explicit FakePortal(uint scheme)
      : scheme(scheme),
        name(QStringLiteral("com.orrisfen.QuotaboxTest.Portal.p%1").arg(QCoreApplication::applicationPid())),
        bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {
    EXPECT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), this));
    EXPECT_TRUE(bus.registerService(name));
  }
  ~FakePortal() override { QDBusConnection::disconnectFromBus(name); }
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("ReadOne")) return false;
    connection.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(scheme)))));
    return true;
  }
  // The desktop switches: the portal announces the new value.
  void announce(uint value) {
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                   QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
    signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
           << QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)));
    bus.send(signal);
  }

  uint scheme;
  QString name;
  QDBusConnection bus;
};

class LookTest : public SandboxedTest {
 protected:
  void SetUp() override {
    // The palette and sheet a plain QApplication starts with, as in a tray run before our look.
    qApp->setStyleSheet({});
    QApplication::setPalette(QApplication::style()->standardPalette());
  }
  void TearDown() override { AppLook::apply(false); }

  // The fill colours of the usage bars the popover shows now.
  std::set<QRgb> barColors(AppModel& model) {
    UsageView view(model);
    showAt(view, UsageView::kWidth);
    std::set<QRgb> colors;
    for (const QuotaboxView* bar : view.findChildren<QuotaboxView*>()) colors.insert(bar->fillColor().rgb());
    return colors;
  }
};

}  // namespace

TEST_F(LookTest, TrayPopoverTakesTheAppPaletteAndFollowsTheDesktop) {
  auto model = demoModel();
  const auto accent = [](bool dark) { return std::set<QRgb>{SystemColors::accent(dark).rgb()}; };
  ASSERT_NE(accent(false), accent(true)) << "dark mode has an accent of its own";

  // No portal and a theme without a palette: the light look, accent included.
  AppLook::follow(*qApp, std::nullopt, QDBusConnection::sessionBus(), QStringLiteral("com.orrisfen.QuotaboxTest.None"));
  EXPECT_FALSE(AppLook::isDark());
  EXPECT_EQ(barColors(*model), accent(false));

  // The portal prefers dark, then the desktop switches back to light.
  FakePortal portal(1);
  AppLook::follow(*qApp, std::nullopt, QDBusConnection::sessionBus(), portal.name);
  ASSERT_TRUE(waitUntil([] { return AppLook::isDark(); }));
  EXPECT_EQ(barColors(*model), accent(true));
  portal.announce(2);
  EXPECT_TRUE(waitUntil([] { return !AppLook::isDark(); }));

  // The command line pins the shade.
  AppLook::follow(*qApp, std::string("dark"), QDBusConnection::sessionBus(), portal.name);
  EXPECT_TRUE(AppLook::isDark());
}

TEST_F(LookTest, EveryTextAndControlOfBothPagesUsesTheOneFont) {
  AppLook::apply(false);
  auto model = demoModel();
  UsageView usage(*model);
  showAt(usage, UsageView::kWidth);
  SettingsView settings(*model);
  showAt(settings, UsageView::kWidth);

  int checked = 0;
  for (const QWidget* page : {static_cast<QWidget*>(&usage), static_cast<QWidget*>(&settings)}) {
    QList<QWidget*> widgets;
    for (QWidget* label : page->findChildren<QLabel*>()) widgets << label;
    for (QWidget* button : page->findChildren<QAbstractButton*>()) widgets << button;
    for (QComboBox* picker : page->findChildren<QComboBox*>()) widgets << picker << picker->view();
    for (const QWidget* widget : widgets) {
      EXPECT_EQ(QFontInfo(widget->font()).family(), QStringLiteral("Noto Sans CJK KR"))
          << widget->metaObject()->className() << " " << widget->objectName().toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, 40);
}

TEST_F(LookTest, ConfirmationButtonsShareAHeightAndFitTheirLabels) {
  AppLook::apply(false);
  auto model = demoModel();
  HistoryClearRow row(*model);
  model->setHistoryClear(AppModel::HistoryClearStage::confirming);
  row.sync();
  showAt(row, 320);
  const QPushButton* cancel = row.cancelButton();
  const QPushButton* confirm = row.confirmButton();
  ASSERT_TRUE(cancel->isVisible() && confirm->isVisible());
  EXPECT_EQ(cancel->height(), confirm->height());
  EXPECT_GE(confirm->width(), confirm->fontMetrics().horizontalAdvance(confirm->text()));
  // The shorter label makes the narrower button: no minimum width widens "취소".
  EXPECT_LT(cancel->width(), confirm->width());
}
