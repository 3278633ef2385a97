#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "EventLoop.h"
#include "TestModel.h"
#include "TestSandbox.h"
#include "appmodel/BuildInfo.h"
#include "glyph/MenuBarLabel.h"
#include "login/LoginItemError.h"
#include "style/AppPalette.h"
#include "views/HistoryClearRow.h"
#include "views/MenuBarPreview.h"
#include "views/SegmentedControl.h"
#include "views/SettingsView.h"
#include "views/ToggleSwitch.h"
#include "wording/PlatformWording.h"

namespace fs = std::filesystem;

namespace {

class FakeLoginItem : public LoginItemControlling {
 public:
  bool isSupported() const override { return supported; }
  bool isEnabled() const override { return enabled; }
  void setEnabled(bool on) override {
    if (failure) throw LoginItemError(*failure);
    enabled = on;
  }

  bool supported = true;
  bool enabled = false;
  std::optional<LoginItemError::Code> failure;
};

class SettingsViewTest : public SandboxedTest, protected TestModel {
 protected:
  std::shared_ptr<FakeLoginItem> fakeLoginItem = std::make_shared<FakeLoginItem>();
  std::unique_ptr<AppModel> model;
  std::unique_ptr<SettingsView> view;
  double claudePercent = 40;

  fs::path historyPath() const { return sandbox.path("data/Quotabox/history.json"); }
  std::optional<fs::path> damagedHistory;

  // A model over scripted providers and a history file in the sandbox, on the settings page;
  // replaces the one built before.
  void build(bool center = true) {
    view.reset();
    model.reset();
    withCenter = center;
    loginItem = fakeLoginItem;
    historyFile = damagedHistory.value_or(historyPath());
    model = TestModel::build(claudePercent);
    model->notifier().refreshAuthorization();
    model->setPage(AppModel::Page::settings);
    view = std::make_unique<SettingsView>(*model);
    view->setQuitAction([] {});
  }

  template <typename T>
  T* child(const char* name) const {
    T* found = view->findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // Whether a label (or, with T a button) with exactly this text would be on screen.
  template <typename T = QLabel>
  bool shows(const QString& text) const {
    const auto children = view->findChildren<T*>();
    return std::any_of(children.begin(), children.end(),
                       [&](const T* w) { return w->text() == text && w->isVisibleTo(view.get()); });
  }
  HistoryClearRow& clearRow() const { return *view->findChild<HistoryClearRow*>(); }

  // Delivers Escape as the window system would: shortcut override first, then the key press.
  bool pressEscape(QWidget* target) {
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &override);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    return override.isAccepted();
  }
};

const QString kHistoryOff =
    QStringLiteral("새 기록과 추이·예측을 멈춰요. 기존 기록은 남아 있으니 지우려면 ‘기록 삭제’를 눌러 주세요.");

}  // namespace

TEST_F(SettingsViewTest, PickersWordTheirChoicesAndKeepWarningBelowCritical) {
  defaults->setValue(QStringLiteral("criticalThreshold"), 80);
  build();
  child<QComboBox>("refreshInterval")->setCurrentIndex(3);
  EXPECT_EQ(std::pair(model->settings().refreshInterval(), model->store().refreshInterval()), std::pair(600.0, 600.0));

  auto* warning = child<QComboBox>("warningThreshold");
  auto* critical = child<QComboBox>("criticalThreshold");
  ASSERT_EQ(std::pair(warning->currentText(), critical->currentText()),
            std::pair(QString("70% 이상"), QString("80% 이상")));
  // Both the settings and both pickers show the pushed value at once.
  const auto choose = [&](QComboBox* picker, int value, std::pair<int, int> expected) {
    picker->setCurrentIndex(picker->findData(value));
    EXPECT_EQ(std::pair(model->settings().warningThreshold(), model->settings().criticalThreshold()), expected);
    EXPECT_EQ(std::pair(warning->currentData().toInt(), critical->currentData().toInt()), expected);
  };
  choose(warning, 80, {80, 85});   // critical moves up past the new warning
  choose(critical, 80, {70, 80});  // warning moves down below the new critical
}

TEST_F(SettingsViewTest, SwitchesWriteThroughShowTheirCaptionsAndWorkFromTheKeyboard) {
  build();
  auto* history = child<ToggleSwitch>("historyEnabled");
  EXPECT_FALSE(shows(kHistoryOff));
  history->click();
  EXPECT_FALSE(model->settings().historyEnabled() || model->store().historyEnabled());
  EXPECT_TRUE(shows(kHistoryOff));

  // A setting changed elsewhere shows here too.
  auto* trends = child<ToggleSwitch>("showTrends");
  model->settings().setShowTrends(false);
  EXPECT_FALSE(trends->isChecked());

  // Switches carry their row title and toggle with the space bar.
  view->show();
  EXPECT_EQ(trends->accessibleName(), QStringLiteral("추이·예측 표시"));
  trends->setFocus();
  for (const auto type : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(trends, &key);
  }
  EXPECT_TRUE(model->settings().showTrends());
}

TEST_F(SettingsViewTest, NotificationStatusFollowsTheAuthorization) {
  using Authorization = NotificationCenter::Authorization;
  const QString denied = QStringLiteral("시스템 설정에서 Quotabox 알림이 꺼져 있어요.");
  const QString test = QStringLiteral("테스트 알림 보내기");
  // Whether the test button, the denial and the missing-server caption are on screen.
  const auto shown = [&] {
    return std::tuple(shows<QAbstractButton>(test), shows(denied), shows(PlatformWording::notificationsUnavailable()));
  };

  center->status = Authorization::notDetermined;
  build();
  EXPECT_EQ(shown(), std::tuple(false, false, false));

  // The page asks again each time it is shown.
  center->status = Authorization::denied;
  view->show();
  ASSERT_TRUE(waitUntil([&] { return shown() == std::tuple(false, true, false); }));

  center->status = Authorization::allowed;
  model->notifier().refreshAuthorization();
  ASSERT_EQ(shown(), std::tuple(true, false, false));
  for (QAbstractButton* button : view->findChildren<QAbstractButton*>()) {
    if (button->text() == test) button->click();
  }
  ASSERT_EQ(center->added.size(), 1u);
  EXPECT_EQ(center->added[0].first, QStringLiteral("usage.test"));

  // Switched off, the section hides whatever it showed; the thresholds still colour the glyph.
  build(false);
  EXPECT_EQ(shown(), std::tuple(false, false, true));
  child<ToggleSwitch>("notificationsEnabled")->click();
  EXPECT_FALSE(model->settings().notificationsEnabled());
  EXPECT_EQ(shown(), std::tuple(false, false, false));
  EXPECT_TRUE(child<QComboBox>("warningThreshold")->isVisibleTo(view.get()));
}

TEST_F(SettingsViewTest, HistoryClearRowPassesThroughAllFiveStates) {
  using State = HistoryClearRow::State;
  const QString clearing = QStringLiteral("기록을 삭제하고 있어요");
  const QString failed =
      QStringLiteral("기록 파일을 삭제하지 못했어요. 기록 저장을 멈췄으니 폴더 권한을 확인한 뒤 다시 시도해 주세요.");
  // A history "file" that cannot be deleted: a folder with something in it.
  fs::create_directories(historyPath());
  std::ofstream(historyPath() / "keep") << "x";
  build();
  view->show();
  HistoryClearRow& row = clearRow();

  row.askButton()->click();
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::confirming);
  EXPECT_TRUE(shows(QStringLiteral("저장된 사용 기록을 모두 지울까요? 되돌릴 수 없어요.")));
  row.cancelButton()->click();
  EXPECT_EQ(row.state(), State::idle);

  row.askButton()->click();
  row.confirmButton()->click();
  // The store reports the deletion back on the main thread: until the loop runs it is under way.
  EXPECT_EQ(row.state(), State::clearing);
  EXPECT_TRUE(shows(clearing));
  ASSERT_TRUE(waitUntil([&] { return !model->store().isClearingHistory(); }));
  EXPECT_EQ(row.state(), State::failed);
  EXPECT_TRUE(shows(failed));

  fs::remove_all(historyPath());
  row.retryButton()->click();
  EXPECT_TRUE(shows(clearing));
  ASSERT_TRUE(waitUntil([&] { return !model->store().isClearingHistory(); }));
  EXPECT_EQ(row.state(), State::cleared);
  EXPECT_TRUE(shows(QStringLiteral("삭제했어요")));
  EXPECT_FALSE(shows(failed));

  // Leaving the page resets the row.
  model->setPage(AppModel::Page::usage);
  EXPECT_EQ(row.state(), State::idle);
  EXPECT_TRUE(row.askButton()->isVisibleTo(view.get()));
}

TEST_F(SettingsViewTest, EscapeCancelsTheDeletionQuestionFirstThenGoesBackAndTheFooterQuits) {
  build();
  view->show();
  auto* back = child<QToolButton>("back");

  clearRow().askButton()->click();
  clearRow().cancelButton()->setFocus();
  EXPECT_TRUE(pressEscape(clearRow().cancelButton()));
  EXPECT_EQ(model->historyClear(), AppModel::HistoryClearStage::idle);
  EXPECT_EQ(model->page(), AppModel::Page::settings);

  // From any control of the page: the key reaches the page through its parents.
  back->setFocus();
  EXPECT_TRUE(pressEscape(back));
  EXPECT_EQ(model->page(), AppModel::Page::usage);

  // Other keys are left to the window.
  QKeyEvent other(QEvent::ShortcutOverride, Qt::Key_Escape, Qt::ShiftModifier);
  QApplication::sendEvent(view.get(), &other);
  EXPECT_FALSE(other.isAccepted());

  model->setPage(AppModel::Page::settings);
  back->click();
  EXPECT_EQ(model->page(), AppModel::Page::usage);
  int quits = 0;
  view->setQuitAction([&] { ++quits; });
  child<QToolButton>("quit")->click();
  EXPECT_EQ(quits, 1);
}

TEST_F(SettingsViewTest, LaunchAtLoginSwitchShowsStateErrorsAndMissingSupport) {
  const QString unsupported = QStringLiteral("이 빌드에서는 아직 지원되지 않아요.");
  const QString approval = LoginItemError(LoginItemError::Code::approvalRequired).description();
  build();
  auto* login = child<ToggleSwitch>("launchAtLogin");
  EXPECT_TRUE(login->isEnabled());
  EXPECT_FALSE(shows(unsupported));

  fakeLoginItem->failure = LoginItemError::Code::approvalRequired;
  login->click();
  EXPECT_TRUE(shows(approval));
  EXPECT_FALSE(login->isChecked()) << "the switch shows the login item's real state";

  fakeLoginItem->failure.reset();
  login->click();
  EXPECT_TRUE(login->isChecked());
  EXPECT_FALSE(shows(approval));

  fakeLoginItem->supported = false;
  build();
  EXPECT_FALSE(child<ToggleSwitch>("launchAtLogin")->isEnabled());
  EXPECT_TRUE(shows(unsupported));
}

TEST(SettingsVersionText, NamesTheReleaseOrADevelopmentBuild) {
  EXPECT_EQ(BuildInfo::versionText(QStringLiteral("1.4.2")), QStringLiteral("Quotabox 1.4.2"));
  EXPECT_EQ(BuildInfo::versionText(std::nullopt), QStringLiteral("Quotabox (개발 빌드)"));
  EXPECT_EQ(BuildInfo::versionText(QString()), QStringLiteral("Quotabox (개발 빌드)"));
}

TEST_F(SettingsViewTest, PreviewDrawsTheTrayGlyphForTheSameDataAndFollowsTheStyle) {
  claudePercent = 75;
  build();
  awaitFuture(model->store().refresh());
  auto* preview = child<MenuBarPreview>("preview");
  preview->setClock(clock.clock());
  preview->refresh();

  const QString stacked = QStringLiteral("위가 Claude, 아래가 ChatGPT예요.\n임계값을 넘으면 주황·빨강으로 바뀌어요.");
  const QString letters = QStringLiteral("C는 Claude, G는 ChatGPT예요.\n임계값을 넘으면 주황·빨강으로 바뀌어요.");
  // The segments in order, with the caption each style shows.
  const std::pair<MenuBarStyle, QString> styles[] = {
      {MenuBarStyle::icon, stacked}, {MenuBarStyle::percent, letters}, {MenuBarStyle::both, stacked}};
  EXPECT_EQ(child<SegmentedControl>("menuBarStyle")->currentIndex(), 2);
  for (const bool dark : {false, true}) {
    view->setPalette(AppPalette::palette(dark));
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(testing::Message() << "dark " << dark << " style " << i);
      child<SegmentedControl>("menuBarStyle")->segment(i)->click();
      EXPECT_EQ(model->settings().menuBarStyle(), styles[i].first);
      EXPECT_TRUE(shows(styles[i].second));
      const StatusGlyph tray = MenuBarLabel::glyph(*model, clock.now());
      ASSERT_EQ(preview->glyph(), tray);
      ASSERT_TRUE(tray.needsColor());
      EXPECT_EQ(preview->darkMenuBar(), dark);
      EXPECT_EQ(preview->shownImage(2), tray.image(dark, 2));
    }
  }
  EXPECT_EQ(preview->accessibleName(),
            QStringLiteral("메뉴바 미리보기, ") + MenuBarLabel::glyph(*model, clock.now()).accessibilityText());

  // Below the warning level the glyph is a template: the preview tints its shape with the text colour.
  model->settings().setWarningThreshold(80);
  model->settings().setMenuBarStyle(MenuBarStyle::icon);
  ASSERT_TRUE(preview->glyph().isTemplate());
  const QImage shown = preview->shownImage(2);
  // The same coverage, and a pixel inside Claude's bar (x 0-16.5, y 1.5-7.5) is fully the text colour.
  EXPECT_EQ(shown.convertToFormat(QImage::Format_Alpha8),
            MenuBarLabel::glyph(*model, clock.now()).image(true, 2).convertToFormat(QImage::Format_Alpha8));
  const QColor text = view->palette().color(QPalette::WindowText);
  EXPECT_EQ(shown.pixelColor(10, 8), QColor(text.red(), text.green(), text.blue()));
}

TEST_F(SettingsViewTest, AHistoryFileThatCannotBeSetAsideIsShownUntilTheHistoryIsCleared) {
  // The backup's name would be too long for the file system, so the damaged file stays.
  damagedHistory = sandbox.writeFile("data/Quotabox/" + std::string(240, 'h'), "not json");
  build();
  awaitFuture(model->store().refresh());
  const QString reason = QString::fromStdString(std::make_error_code(std::errc::filename_too_long).message());
  const QString stuck = QStringLiteral(
                            "손상된 기록 파일을 옮기지 못해 기록을 멈췄어요(%1). 기록 폴더의 권한을 확인하거나 ‘기록 "
                            "삭제’를 눌러 주세요.")
                            .arg(reason);
  EXPECT_TRUE(shows(stuck));
  model->store().clearHistory();
  ASSERT_TRUE(waitUntil([&] { return !model->store().isClearingHistory(); }));
  EXPECT_FALSE(shows(stuck));
  EXPECT_FALSE(fs::exists(*damagedHistory));
}
