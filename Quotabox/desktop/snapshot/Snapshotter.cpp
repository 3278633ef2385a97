#include "snapshot/Snapshotter.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <cstdio>
#include <exception>

#include "appmodel/AppModel.h"
#include "glyph/MenuBarLabel.h"
#include "platform/DesktopLog.h"
#include "settings/SettingsDomain.h"
#include "snapshot/EventWait.h"
#include "snapshot/ReportFile.h"
#include "snapshot/UiChecks.h"
#include "style/AppLook.h"
#include "style/AppPalette.h"
#include "views/SettingsView.h"
#include "views/UsageView.h"
#include "wording/TrendPhrasing.h"

namespace {
constexpr std::array<const char*, 2> kAppearances{"light", "dark"};
constexpr std::array<MenuBarStyle, 3> kStripStyles{MenuBarStyle::icon, MenuBarStyle::percent, MenuBarStyle::both};
// Strip geometry in points: one cell per style and menu-bar shade.
constexpr qreal kCellWidth = 120;
constexpr qreal kCellHeight = 24;
constexpr qreal kGlyphInset = 10;
constexpr qreal kGlyphBottom = 3;
// Lets views that rebuild on the next turn of the event loop settle before measuring.
constexpr int kSettleMs = 30;

QString fileIn(const QString& directory, const QString& name) { return QDir(directory).filePath(name); }

QString named(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

const QString Snapshotter::suiteName = QStringLiteral("Quotabox.snapshot");

const std::vector<Snapshotter::Scenario>& Snapshotter::scenarios() {
  using Kind = LaunchOptions::Source::Kind;
  using Mock = MockUsageProvider::Scenario;
  static const std::vector<Scenario> list{
      {"normal", LaunchOptions::Source::mock(Mock::normal)},
      {"high", LaunchOptions::Source::mock(Mock::high)},
      {"error", LaunchOptions::Source::mock(Mock::error)},
      {"signedout", LaunchOptions::Source::mock(Mock::notSignedIn)},
      {"stale", LaunchOptions::Source::of(Kind::stale)},
      {"mixed", LaunchOptions::Source::of(Kind::mixed)},
      {"retained", LaunchOptions::Source::of(Kind::retained)},
      {"trends", LaunchOptions::Source::of(Kind::trends)},
  };
  return list;
}

std::unique_ptr<AppModel> Snapshotter::loadedModel(const LaunchOptions::Source& source,
                                                   const std::shared_ptr<SettingsDomain>& defaults) {
  LaunchOptions options;
  options.source = source;
  auto model = std::make_unique<AppModel>(options, defaults);
  model->store().setRefreshInterval(model->settings().refreshInterval());
  const QFuture<void> first = model->store().refresh();
  EventWait::until([&first] { return first.isFinished(); }, loadTimeoutMs);
  return model;
}

bool Snapshotter::render(QWidget* view, const std::string& appearance, const QString& path, int width) {
  const QPalette palette = AppPalette::palette(appearance == "dark");
  QWidget host(nullptr, Qt::FramelessWindowHint);
  host.setAttribute(Qt::WA_DontShowOnScreen);
  host.setPalette(palette);
  host.setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(&host);
  // The host is sized below; a layout that set its minimum size would ask the platform window
  // to follow, which the offscreen plugin answers with a warning each time.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view);  // the host owns the view from here
  host.resize(width, host.sizeHint().height());
  host.show();
  EventWait::pause(kSettleMs);
  layout->activate();
  const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : host.sizeHint().height();
  host.resize(width, std::max(1, height));
  layout->activate();
  EventWait::pause(kSettleMs);

  QImage image(host.size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return false;
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(palette.color(QPalette::Window));
  host.render(&image);
  host.hide();
  try {
    ReportFile::writePng(path, image);
    return true;
  } catch (const std::exception& error) {
    qCInfo(desktopLog) << "snapshot file not written:" << error.what();
    return false;
  }
}

bool Snapshotter::renderPage(AppModel& model, bool settings, const std::string& appearance, const QString& path) {
  // Views take some colours from the application palette when they are built.
  AppLook::apply(appearance == "dark");
  QWidget* page = settings ? static_cast<QWidget*>(new SettingsView(model)) : new UsageView(model);
  return render(page, appearance, path);
}

bool Snapshotter::renderLive(AppModel& model, const QString& directory) {
  const std::string appearance = model.options().appearance.value_or("light");
  bool written = renderPage(model, false, appearance, fileIn(directory, QStringLiteral("live-render.png")));
  written = writeMenuBarStrip(model, fileIn(directory, QStringLiteral("live-menubar-render.png"))) && written;
  written = renderPage(model, true, appearance, fileIn(directory, QStringLiteral("settings-render.png"))) && written;
  return written;
}

QImage Snapshotter::tinted(const QImage& image, const QColor& color) {
  QImage result(image.size(), QImage::Format_ARGB32_Premultiplied);
  if (result.isNull()) return result;
  result.setDevicePixelRatio(image.devicePixelRatio());
  result.fill(Qt::transparent);
  QPainter painter(&result);
  painter.drawImage(QPointF(0, 0), image);
  painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
  painter.fillRect(QRectF(QPointF(0, 0), result.deviceIndependentSize()), color);
  return result;
}

QImage Snapshotter::menuBarStrip(const AppModel& model) {
  const std::vector<StatusSlot> slots = MenuBarLabel::slots(model, model.now());
  QImage strip(stripWidth, stripHeight, QImage::Format_ARGB32);
  if (strip.isNull()) return strip;
  strip.setDevicePixelRatio(devicePixelRatio);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  for (size_t row = 0; row < kStripStyles.size(); ++row) {
    for (int column = 0; column < 2; ++column) {
      const bool dark = column == 1;
      const QRectF cell(column * kCellWidth, static_cast<qreal>(row) * kCellHeight, kCellWidth, kCellHeight);
      const qreal grey = dark ? 0.12 : 0.93;
      painter.fillRect(cell, QColor::fromRgbF(grey, grey, grey, 1));
      const StatusGlyph glyph{slots, kStripStyles[row]};
      QImage image = glyph.image(dark, devicePixelRatio);
      if (glyph.isTemplate()) image = tinted(image, dark ? QColor(Qt::white) : QColor(Qt::black));
      const QRectF target(cell.left() + kGlyphInset, cell.bottom() - kGlyphBottom - StatusGlyph::height, glyph.width(),
                          StatusGlyph::height);
      painter.drawImage(target, image);
    }
  }
  return strip;
}

bool Snapshotter::writeMenuBarStrip(const AppModel& model, const QString& path) {
  const QImage strip = menuBarStrip(model);
  if (strip.isNull()) return false;
  try {
    ReportFile::writePng(path, strip);
    return true;
  } catch (const std::exception& error) {
    qCInfo(desktopLog) << "snapshot file not written:" << error.what();
    return false;
  }
}

void Snapshotter::renderTrendVariants(const std::string& name, AppModel& model, const QString& directory) {
  const QString prefix = named(name);
  // Rows expand one at a time: Claude's first row that has a detail to show.
  const auto claude = model.store().usages().find(ServiceID::claude);
  if (claude != model.store().usages().end()) {
    for (const UsageWindow& window : claude->second.windows) {
      const auto shown =
          TrendPhrasing::presentation(model.trend(ServiceID::claude, window.id), window, model.now(), true);
      if (shown && shown->hasDetail) {
        model.toggleTrend(ServiceID::claude, window.id);
        break;
      }
    }
  }
  for (const char* appearance : kAppearances) {
    renderPage(model, false, appearance,
               fileIn(directory, QStringLiteral("popover-%1-expanded-%2.png").arg(prefix, appearance)));
  }
  model.setPage(AppModel::Page::settings);
  for (const char* appearance : kAppearances) {
    model.setHistoryClear(AppModel::HistoryClearStage::confirming);
    renderPage(model, true, appearance,
               fileIn(directory, QStringLiteral("settings-clear-confirm-%1.png").arg(appearance)));
  }
  model.setHistoryClear(AppModel::HistoryClearStage::idle);
  model.applyHistoryEnabled(false);
  for (const char* appearance : kAppearances) {
    renderPage(model, true, appearance,
               fileIn(directory, QStringLiteral("settings-history-off-%1.png").arg(appearance)));
  }
  model.setPage(AppModel::Page::usage);
  renderPage(model, false, "light", fileIn(directory, QStringLiteral("popover-history-off-light.png")));
}

bool Snapshotter::validateModel(const std::shared_ptr<SettingsDomain>& defaults, const QString& directory) {
  const nlohmann::json report = UiChecks::run(defaults);
  try {
    ReportFile::writeJson(fileIn(directory, QStringLiteral("ui-checks.json")), report);
    return true;
  } catch (const std::exception& error) {
    qCInfo(desktopLog) << "snapshot file not written:" << error.what();
    return false;
  }
}

bool Snapshotter::run(const QString& directory) {
  const QString path = QDir(directory).absolutePath();
  try {
    ReportFile::ensureDirectory(path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "스냅샷 폴더를 만들지 못했어요: %s\n", error.what());
    return false;
  }
  const std::shared_ptr<SettingsDomain> defaults = SettingsDomain::suite(suiteName);
  for (const Scenario& scenario : scenarios()) {
    if (EventWait::cancelled()) break;
    // Each scenario starts from the default settings, whatever an earlier one changed.
    defaults->removePersistentDomain();
    const std::unique_ptr<AppModel> model = loadedModel(scenario.source, defaults);
    const QString name = named(scenario.name);
    for (const char* appearance : kAppearances) {
      renderPage(*model, false, appearance, fileIn(path, QStringLiteral("popover-%1-%2.png").arg(name, appearance)));
    }
    writeMenuBarStrip(*model, fileIn(path, QStringLiteral("menubar-%1.png").arg(name)));
    if (scenario.name == "normal" || scenario.name == "high") {
      for (const char* appearance : kAppearances) {
        renderPage(*model, true, appearance, fileIn(path, QStringLiteral("settings-%1-%2.png").arg(name, appearance)));
      }
    }
    if (scenario.name == "trends") renderTrendVariants(scenario.name, *model, path);
  }
  defaults->removePersistentDomain();
  validateModel(defaults, path);
  defaults->removePersistentDomain();
  std::fprintf(stdout, "스냅샷 저장 위치: %s\n", path.toUtf8().constData());
  std::fflush(stdout);
  return true;
}
