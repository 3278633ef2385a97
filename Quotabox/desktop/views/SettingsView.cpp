#include "views/SettingsView.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "appmodel/AppModel.h"
#include "appmodel/BuildInfo.h"
#include "style/Look.h"
#include "views/Caption.h"
#include "views/Divider.h"
#include "views/FooterButton.h"
#include "views/HeadingLabel.h"
#include "views/HistoryClearRow.h"
#include "views/MenuBarPreview.h"
#include "views/NotificationStatus.h"
#include "views/Picker.h"
#include "views/SegmentedControl.h"
#include "views/SettingsRow.h"
#include "views/SettingsSection.h"
#include "views/ToggleSwitch.h"
#include "wording/KoreanTime.h"
#include "wording/PlatformWording.h"

namespace {
// Relative times in the preview age; re-read at least this often while shown.
constexpr int kTickMilliseconds = 30000;

QString historyFileErrorText(std::error_code error) {
  return QStringLiteral(
             "손상된 기록 파일을 옮기지 못해 기록을 멈췄어요(%1). 기록 폴더의 권한을 확인하거나 ‘기록 "
             "삭제’를 눌러 주세요.")
      .arg(QString::fromStdString(error.message()));
}

QComboBox* picker(const char* name) {
  auto* box = new Picker;
  box->setObjectName(QLatin1String(name));
  box->setFont(Look::font(12));
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

ToggleSwitch* toggle(const char* name) {
  auto* toggle = new ToggleSwitch;
  toggle->setObjectName(QLatin1String(name));
  return toggle;
}

template <typename Value, std::size_t N>
void selectValue(QComboBox* box, const std::array<Value, N>& choices, Value value) {
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(-1);
  for (std::size_t i = 0; i < N; ++i) {
    if (choices[i] == value) box->setCurrentIndex(static_cast<int>(i));
  }
}

QString thresholdLabel(int percent) { return QString::number(percent) + QStringLiteral("% 이상"); }

}  // namespace

SettingsView::SettingsView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_quit([] { QCoreApplication::quit(); }), m_ticker(new QTimer(this)) {
  setFocusPolicy(Qt::ClickFocus);
  auto* sections = new QWidget(this);
  auto* sectionLayout = new QVBoxLayout(sections);
  sectionLayout->setContentsMargins(12, 0, 12, 12);
  sectionLayout->setSpacing(14);
  sectionLayout->addWidget(makeRefreshSection());
  sectionLayout->addWidget(makeMenuBarSection());
  sectionLayout->addWidget(makeNotificationSection());
  sectionLayout->addWidget(makeTrendSection());
  sectionLayout->addWidget(makeGeneralSection());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(makeHeader());
  layout->addWidget(sections);
  layout->addWidget(new Divider(this));
  layout->addWidget(makeFooter());

  m_ticker->setInterval(kTickMilliseconds);
  connect(m_ticker, &QTimer::timeout, this, &SettingsView::sync);
  observeModel();
  sync();
}

QString SettingsView::versionText() { return BuildInfo::versionText(); }

QWidget* SettingsView::makeHeader() {
  auto* header = new QWidget(this);
  auto* title = new HeadingLabel(QStringLiteral("설정"), header);
  title->setFont(Look::font(14, QFont::DemiBold));
  auto* back = new FooterButton(QStringLiteral("사용량"), QStringLiteral("chevron.left"),
                                QStringLiteral("사용량으로 돌아가기 (esc)"), header);
  back->setObjectName(QStringLiteral("back"));
  connect(back, &QToolButton::clicked, this, [this] { m_model.setPage(AppModel::Page::usage); });

  auto* layout = new QHBoxLayout(header);
  layout->setContentsMargins(14, 12, Look::kTrailingMargin, 10);
  layout->addWidget(title);
  layout->addStretch(1);
  layout->addWidget(back);
  return header;
}

QWidget* SettingsView::makeFooter() {
  auto* footer = new QWidget(this);
  auto* version = new QLabel(versionText(), footer);
  version->setObjectName(QStringLiteral("version"));
  Look::setText(version, 11, QFont::Normal, Look::secondary(version->palette()));
  auto* quit =
      new FooterButton(QStringLiteral("종료"), QStringLiteral("power"), QStringLiteral("Quotabox 종료"), footer);
  quit->setObjectName(QStringLiteral("quit"));
  connect(quit, &QToolButton::clicked, this, [this] { m_quit(); });

  auto* layout = new QHBoxLayout(footer);
  layout->setContentsMargins(14, 10, Look::kTrailingMargin, 10);
  layout->addWidget(version);
  layout->addStretch(1);
  layout->addWidget(quit);
  return footer;
}

QWidget* SettingsView::makeRefreshSection() {
  auto* section = new SettingsSection(QStringLiteral("갱신"), this);
  m_interval = picker("refreshInterval");
  for (const double seconds : AppSettings::refreshChoices) {
    m_interval->addItem(KoreanTime::intervalLabel(seconds) + QStringLiteral("마다"), seconds);
  }
  connect(m_interval, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) m_model.applyRefreshInterval(AppSettings::refreshChoices.at(static_cast<std::size_t>(index)));
  });
  section->addContent(new SettingsRow(QStringLiteral("갱신 주기"), m_interval));
  return section;
}

QWidget* SettingsView::makeMenuBarSection() {
  auto* section = new SettingsSection(QStringLiteral("메뉴바"), this);
  m_style = new SegmentedControl({QStringLiteral("아이콘"), QStringLiteral("퍼센트"), QStringLiteral("둘 다")});
  m_style->setObjectName(QStringLiteral("menuBarStyle"));
  connect(m_style, &SegmentedControl::activated, this, [this](int index) {
    m_model.settings().setMenuBarStyle(MenuBarStyles::allCases.at(static_cast<std::size_t>(index)));
  });
  section->addContent(new SettingsRow(QStringLiteral("표시 방식"), m_style));
  m_preview = new MenuBarPreview(m_model);
  m_preview->setObjectName(QStringLiteral("preview"));
  section->addContent(new SettingsRow(QStringLiteral("미리보기"), m_preview));
  m_styleCaption = new Caption({});
  section->addContent(m_styleCaption);
  return section;
}

QWidget* SettingsView::makeNotificationSection() {
  auto* section = new SettingsSection(QStringLiteral("임계값 · 알림"), this);
  m_notifications = toggle("notificationsEnabled");
  connect(m_notifications, &ToggleSwitch::clicked, this, [this](bool on) { m_model.setNotificationsEnabled(on); });
  section->addContent(new SettingsRow(QStringLiteral("임계값을 넘으면 알림 받기"), m_notifications));

  m_warning = picker("warningThreshold");
  for (const int percent : AppSettings::warningChoices) m_warning->addItem(thresholdLabel(percent), percent);
  connect(m_warning, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) m_model.settings().setWarningThreshold(AppSettings::warningChoices.at(std::size_t(index)));
  });
  section->addContent(new SettingsRow(QStringLiteral("주의 임계값"), m_warning));

  m_critical = picker("criticalThreshold");
  for (const int percent : AppSettings::criticalChoices) m_critical->addItem(thresholdLabel(percent), percent);
  connect(m_critical, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) m_model.settings().setCriticalThreshold(AppSettings::criticalChoices.at(std::size_t(index)));
  });
  section->addContent(new SettingsRow(QStringLiteral("한도 임박 임계값"), m_critical));

  section->addContent(new Caption(QStringLiteral("한 초기화 주기 안에서는 단계마다 한 번만 알려요.")));
  m_notificationStatus = new NotificationStatus(m_model, section);
  section->addContent(m_notificationStatus);
  return section;
}

QWidget* SettingsView::makeTrendSection() {
  auto* section = new SettingsSection(QStringLiteral("추이 · 예측"), this);
  m_trends = toggle("showTrends");
  connect(m_trends, &ToggleSwitch::clicked, this, [this](bool on) { m_model.settings().setShowTrends(on); });
  section->addContent(new SettingsRow(QStringLiteral("추이·예측 표시"), m_trends));

  m_history = toggle("historyEnabled");
  connect(m_history, &ToggleSwitch::clicked, this, [this](bool on) { m_model.applyHistoryEnabled(on); });
  section->addContent(new SettingsRow(QStringLiteral("사용 기록 저장"), m_history));

  m_historyOff = new Caption(QStringLiteral("새 기록과 추이·예측을 멈춰요. 기존 기록은 남아 있으니 지우려면 ‘기록 "
                                            "삭제’를 눌러 주세요."),
                             QStringLiteral("info.circle"));
  section->addContent(m_historyOff);
  m_historyFileError = new Caption({}, QStringLiteral("exclamationmark.triangle"));
  section->addContent(m_historyFileError);
  section->addContent(new Caption(PlatformWording::thisComputer() +
                                  QStringLiteral("에만 퍼센트·시각·한도 ID를 저장해요. 앱 실행·갱신 때 최근 "
                                                 "14일만 남겨요.")));
  m_historyClear = new HistoryClearRow(m_model);
  section->addContent(m_historyClear);
  return section;
}

QWidget* SettingsView::makeGeneralSection() {
  auto* section = new SettingsSection(QStringLiteral("일반"), this);
  m_launchAtLogin = toggle("launchAtLogin");
  connect(m_launchAtLogin, &ToggleSwitch::clicked, this, [this](bool on) { m_model.setLaunchAtLogin(on); });
  section->addContent(new SettingsRow(QStringLiteral("로그인 시 자동 실행"), m_launchAtLogin));
  m_loginUnsupported =
      new Caption(QStringLiteral("이 빌드에서는 아직 지원되지 않아요."), QStringLiteral("info.circle"));
  section->addContent(m_loginUnsupported);
  m_loginError = new Caption({}, QStringLiteral("exclamationmark.triangle"));
  section->addContent(m_loginError);
  return section;
}

void SettingsView::observeModel() {
  AppSettings& settings = m_model.settings();
  connect(&settings, &AppSettings::refreshIntervalChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::menuBarStyleChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::notificationsEnabledChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::showTrendsChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::historyEnabledChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::warningThresholdChanged, this, &SettingsView::sync);
  connect(&settings, &AppSettings::criticalThresholdChanged, this, &SettingsView::sync);
  connect(&m_model, &AppModel::historyClearChanged, this, &SettingsView::sync);
  connect(&m_model, &AppModel::loginItemErrorChanged, this, &SettingsView::sync);
  connect(&m_model, &AppModel::loginItemRevisionChanged, this, &SettingsView::sync);
  connect(&m_model.notifier(), &ThresholdNotifier::authorizationChanged, this, &SettingsView::sync);
  UsageStore& store = m_model.store();
  connect(&store, &UsageStore::usagesChanged, this, &SettingsView::sync);
  connect(&store, &UsageStore::historyEnabledChanged, this, &SettingsView::sync);
  connect(&store, &UsageStore::isClearingHistoryChanged, this, &SettingsView::sync);
  connect(&store, &UsageStore::historyClearFailedChanged, this, &SettingsView::sync);
  connect(&store, &UsageStore::historyFileErrorChanged, this, &SettingsView::sync);
}

void SettingsView::sync() {
  const AppSettings& settings = m_model.settings();
  selectValue(m_interval, AppSettings::refreshChoices, settings.refreshInterval());
  selectValue(m_warning, AppSettings::warningChoices, settings.warningThreshold());
  selectValue(m_critical, AppSettings::criticalChoices, settings.criticalThreshold());

  const MenuBarStyle style = settings.menuBarStyle();
  for (std::size_t i = 0; i < MenuBarStyles::allCases.size(); ++i) {
    if (MenuBarStyles::allCases[i] == style) m_style->setCurrentIndex(static_cast<int>(i));
  }
  m_styleCaption->setText(
      style == MenuBarStyle::percent
          ? QStringLiteral("C는 Claude, G는 ChatGPT예요.\n임계값을 넘으면 주황·빨강으로 바뀌어요.")
          : QStringLiteral("위가 Claude, 아래가 ChatGPT예요.\n임계값을 넘으면 주황·빨강으로 바뀌어요."));

  m_preview->refresh();

  m_notifications->setChecked(settings.notificationsEnabled());
  m_notificationStatus->sync();
  m_trends->setChecked(settings.showTrends());
  m_history->setChecked(settings.historyEnabled());
  m_historyOff->setVisible(!settings.historyEnabled());
  const std::error_code fileError = m_model.store().historyFileError();
  m_historyFileError->setText(fileError ? historyFileErrorText(fileError) : QString());
  m_historyFileError->setVisible(bool(fileError));
  m_historyClear->sync();

  const LoginItemControlling& loginItem = m_model.loginItem();
  m_launchAtLogin->setChecked(loginItem.isEnabled());
  m_launchAtLogin->setEnabled(loginItem.isSupported());
  m_loginUnsupported->setVisible(!loginItem.isSupported());
  const auto& error = m_model.loginItemError();
  m_loginError->setText(error.value_or(QString()));
  m_loginError->setVisible(error.has_value());
}

void SettingsView::cancel() {
  if (m_model.historyClear() == AppModel::HistoryClearStage::confirming) {
    m_model.setHistoryClear(AppModel::HistoryClearStage::idle);
  } else {
    m_model.setPage(AppModel::Page::usage);
  }
}

bool SettingsView::event(QEvent* event) {
  // Claim Escape before any window-wide shortcut (such as closing the popover) takes it.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void SettingsView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    cancel();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  sync();
  m_ticker->start();
  // Keys reach the page (Escape) even before anything in it was clicked.
  if (!isAncestorOf(QApplication::focusWidget())) setFocus(Qt::OtherFocusReason);
  // The permission may have changed while the page was hidden.
  QTimer::singleShot(0, this, [this] { m_model.notifier().refreshAuthorization(); });
}

void SettingsView::hideEvent(QHideEvent* event) {
  m_ticker->stop();
  QWidget::hideEvent(event);
}
