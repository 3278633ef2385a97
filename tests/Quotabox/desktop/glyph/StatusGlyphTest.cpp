#include <gtest/gtest.h>

#include <functional>

#include "ColorMatch.h"
#include "TrayTestModel.h"
#include "glyph/MenuBarLabel.h"
#include "glyph/StatusGlyph.h"
#include "tray/GlyphFace.h"

namespace {

using Kind = StatusSlot::Kind;
constexpr auto normal = UsageLevel::normal, warning = UsageLevel::warning, critical = UsageLevel::critical;
constexpr auto icon = MenuBarStyle::icon, both = MenuBarStyle::both, percent = MenuBarStyle::percent;

StatusSlot claude(Kind kind) { return {ServiceID::claude, kind}; }
StatusSlot codex(Kind kind) { return {ServiceID::codex, kind}; }
Kind fresh(double percent, UsageLevel level = normal) { return Kind::value(percent, level, false); }
Kind stale(double percent, UsageLevel level = normal) { return Kind::value(percent, level, true); }
StatusGlyph glyph(MenuBarStyle style, std::vector<StatusSlot> slots) { return {std::move(slots), style}; }

// The pixel covering logical point (x, y), unpremultiplied.
QColor at(const QImage& image, qreal x, qreal y) {
  return image.pixelColor(int(x * image.devicePixelRatio()), int(y * image.devicePixelRatio()));
}
const QColor kOrange(255, 149, 0), kTrack(0, 0, 0, 77);

// Pixels (in device pixels) of a logical rectangle that satisfy `match`.
int count(const QImage& image, const QRectF& logical, const std::function<bool(const QColor&)>& match) {
  const qreal ratio = image.devicePixelRatio();
  const QRect area = QRectF(logical.topLeft() * ratio, logical.size() * ratio).toAlignedRect() & image.rect();
  int found = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) found += match(image.pixelColor(x, y)) ? 1 : 0;
  }
  return found;
}
bool isOrange(const QColor& c) { return c.alpha() > 200 && near(c, kOrange, 12); }
bool isOpaqueBlack(const QColor& c) { return c.alpha() > 200 && c.red() < 40 && c.green() < 40 && c.blue() < 40; }

constexpr double kNow = 1760000000;
UsageWindow window(const char* id, double percent, std::optional<double> resetsIn) {
  return UsageWindow(id, id, percent, resetsIn ? std::optional(fromEpochSeconds(kNow + *resetsIn)) : std::nullopt);
}
// Claude's usage fetched `ago` seconds before now; a failed status with windows means they were retained.
ServiceUsage fetched(std::vector<UsageWindow> windows, double ago, ProviderStatus status = ProviderStatus::ok()) {
  ServiceUsage usage = okUsage(ServiceID::claude, std::move(windows), kNow - ago);
  usage.status = std::move(status);
  return usage;
}

}  // namespace

TEST(StatusGlyphWidth, IconAndBothAreFixedWhilePercentFollowsTheDigits) {
  for (const auto& kind : {Kind::loading(), Kind::error(), fresh(5), fresh(100, critical)}) {
    for (const auto style : {icon, both}) {
      EXPECT_EQ(glyph(style, {claude(kind), codex(kind)}).width(),
                glyph(style, {claude(fresh(0)), codex(fresh(0))}).width());
    }
  }
  const int two = glyph(percent, {claude(fresh(43))}).width();
  EXPECT_LT(glyph(percent, {claude(fresh(5))}).width(), two);
  EXPECT_LT(two, glyph(percent, {claude(fresh(100))}).width());
  // Tabular digits: every two-digit value is equally wide.
  EXPECT_EQ(glyph(percent, {claude(fresh(11))}).width(), two);
}

TEST(StatusGlyphImage, TrayFaceCarriesTheGlyphAtBothRatiosAndSquaresInThePanelsColour) {
  const StatusGlyph low = glyph(both, {claude(fresh(20)), codex(Kind::signedOut())});
  const QImage image = low.image(false, 2);
  EXPECT_EQ(std::pair(image.size(), image.devicePixelRatio()), std::pair(QSize(low.width() * 2, 36), 2.0));
  EXPECT_EQ(low.image(false).text(QStringLiteral("Description")), low.accessibilityText());
  // A nonsensical ratio draws at 1x rather than an empty or enormous image.
  EXPECT_EQ(low.image(false, 0).size(), QSize(low.width(), 18));

  // Hosts do not tint tray icons: even a template glyph comes in the panel's own colour.
  const TrayFace face = GlyphFace::make(low, true);
  EXPECT_EQ(std::tuple(face.image, face.image2x, face.label, face.tooltip, face.labelGuide),
            std::tuple(low.image(true, 1), low.image(true, 2), QStringLiteral("C 20% · G –"), low.accessibilityText(),
                       QStringLiteral("C 100% · G 100%")));
  ASSERT_EQ(face.squareImages.size(), std::size(GlyphFace::squareSizes));
  EXPECT_EQ(face.squareImages.back(), low.squareImage(true, GlyphFace::squareSizes[face.squareImages.size() - 1]));
  // The square forms change with the values, so a host gets the new picture.
  const TrayFace alert = GlyphFace::make(glyph(both, {claude(fresh(95, critical)), codex(Kind::signedOut())}), true);
  EXPECT_FALSE(alert.sameImage(face));
  EXPECT_NE(alert.squareImages, face.squareImages);
}

TEST(StatusGlyphImage, BarFillsFollowLevelFreshnessAndMenuBar) {
  const qreal ratio = 2;  // scaling itself is the tray face's check
  // Claude's bar spans y 1.5-7.5, ChatGPT's 10.5-16.5; 50% fills x 0-11.
  const QImage warn = glyph(icon, {claude(fresh(50, warning)), codex(fresh(50))}).image(false, ratio);
  EXPECT_TRUE(near(at(warn, 5, 4), kOrange));
  EXPECT_TRUE(near(at(warn, 5, 13), Qt::black));  // a normal slot stays neutral
  EXPECT_TRUE(near(at(warn, 16, 4), kTrack));     // unfilled track
  EXPECT_EQ(at(warn, 5, 9).alpha(), 0);           // the gap between the bars

  const StatusGlyph red = glyph(icon, {claude(fresh(50, critical))});
  EXPECT_TRUE(near(at(red.image(false, ratio), 5, 8.5), QColor(255, 59, 48)));
  EXPECT_TRUE(near(at(red.image(true, ratio), 5, 8.5), QColor(255, 69, 58)));

  // Stale: a faded neutral, never coloured; white on a dark menu bar.
  const QColor faded = at(glyph(icon, {claude(stale(50, critical))}).image(true, ratio), 5, 8.5);
  EXPECT_TRUE(faded.hsvSaturation() < 10 && faded.lightness() > 200 && faded.alpha() < 230)
      << faded.name().toStdString();

  // A share too small to see still fills 2 pixels; 0% leaves the bare track.
  const QImage small = glyph(icon, {claude(fresh(0.5))}).image(false, ratio);
  EXPECT_TRUE(near(at(small, 1, 8.5), Qt::black));
  EXPECT_TRUE(near(at(small, 3, 8.5), kTrack));
  EXPECT_TRUE(near(at(glyph(icon, {claude(fresh(0))}).image(false, ratio), 1, 8.5), kTrack));
}

TEST(StatusGlyphImage, BarsWithoutValueAreOutlinesOrAFaintTrack) {
  // One slot: its bar spans y 6-12 and x 0-22.
  const QImage loading = glyph(icon, {claude(Kind::loading())}).image(false, 2);
  EXPECT_TRUE(near(at(loading, 5, 8.5), QColor(0, 0, 0, 64)));

  // Signed out: a dashed outline with an empty inside.
  const QImage signedOut = glyph(icon, {claude(Kind::signedOut())}).image(false, 2);
  const auto opaque = [](int alpha) { return [alpha](const QColor& c) { return c.alpha() > alpha; }; };
  const auto clear = [](const QColor& c) { return c.alpha() < 10; };
  const QRectF topEdge(3, 6.25, 16, 0.5);
  EXPECT_EQ(at(signedOut, 5, 8.5).alpha(), 0);
  EXPECT_GT(count(signedOut, topEdge, opaque(100)), 0);
  EXPECT_GT(count(signedOut, topEdge, clear), 0);

  // Failed: a solid outline and a slash through the middle.
  const QImage failed = glyph(icon, {claude(Kind::error())}).image(false, 2);
  EXPECT_EQ(count(failed, topEdge, clear), 0);
  EXPECT_GT(count(failed, QRectF(10, 8, 2, 2), opaque(150)), 0);
  EXPECT_EQ(at(failed, 3, 8.5).alpha(), 0);
}

TEST(StatusGlyphImage, ValueTextTakesTheLevelColourOnlyWhenFreshInItsOwnRow) {
  // In rows, the value sits right of the bar (from x 26) in its own row: Claude above, ChatGPT below.
  const StatusGlyph rows = glyph(both, {claude(fresh(10)), codex(fresh(80, warning))});
  const QImage image = rows.image(false, 2);
  const QRectF top(26, 0, rows.width() - 26, 9), bottom(26, 9, rows.width() - 26, 9);
  EXPECT_EQ(count(image, top, isOrange), 0);
  EXPECT_GT(count(image, top, isOpaqueBlack), 0);
  EXPECT_GT(count(image, bottom, isOrange), 0);
  const StatusGlyph old = glyph(percent, {claude(stale(75, warning))});
  EXPECT_EQ(count(old.image(false, 2), QRectF(0, 0, old.width(), 18), isOrange), 0);
}

TEST(StatusGlyphText, SpokenAndLabelTextsAndWhetherColourIsNeeded) {
  const struct {
    StatusSlot slot;
    const char *spoken, *label;
    bool needsColor;  // only a fresh value above normal
  } cases[] = {
      {claude(Kind::loading()), "Claude 불러오는 중", "C \u2026", false},
      {codex(Kind::signedOut()), "ChatGPT 로그인 필요", "G \u2013", false},
      {codex(Kind::error()), "ChatGPT 불러오기 실패", "G !", false},
      {claude(fresh(42.5)), "Claude 43퍼센트 사용", "C 43%", false},
      {codex(fresh(74.6, warning)), "ChatGPT 75퍼센트 사용, 주의", "G 75%", true},
      {claude(fresh(100, critical)), "Claude 100퍼센트 사용, 한도 임박", "C 100%", true},
      {claude(stale(84.6, warning)), "Claude 85퍼센트 사용, 주의, 오래된 데이터", "C 85%", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const StatusGlyph g = glyph(icon, {c.slot});
    EXPECT_EQ(c.slot.spokenText(), QString::fromUtf8(c.spoken));
    EXPECT_EQ(g.textLabel(), QString::fromUtf8(c.label));
    EXPECT_EQ(g.needsColor(), c.needsColor);
  }
  // One alerting slot colours the whole glyph.
  EXPECT_TRUE(glyph(both, {claude(fresh(10)), codex(fresh(75, warning))}).needsColor());
  const StatusGlyph two = glyph(percent, {claude(fresh(43)), codex(Kind::signedOut())});
  EXPECT_EQ(two.accessibilityText(), QStringLiteral("사용량: Claude 43퍼센트 사용, ChatGPT 로그인 필요"));
  EXPECT_EQ(two.textLabel(), QStringLiteral("C 43% \u00B7 G \u2013"));
}

TEST(MenuBarLabelSlot, OneSlotPerSnapshot) {
  const struct {
    const char* name;
    std::optional<ServiceUsage> usage;
    Kind expected;
    Thresholds thresholds = {70, 90};
    double interval = 120;
  } cases[] = {
      {"no snapshot yet", std::nullopt, Kind::loading()},
      {"not signed in", failedUsage(ServiceID::claude, ProviderStatus::notSignedIn(), kNow), Kind::signedOut()},
      {"success without windows", fetched({}, 0), Kind::error()},
      {"retained windows still show the failure", fetched({window("a", 50, 3600)}, 0, ProviderStatus::unavailable("x")),
       Kind::error()},
      {"largest current window",
       fetched({window("a", 30, 3600), window("b", 85, 60), window("c", 40, std::nullopt)}, 0), fresh(85, warning)},
      {"the given thresholds decide the level", fetched({window("a", 75, 3600)}, 0), fresh(75), {80, 90}},
      {"a window reset at this instant belongs to the past cycle",
       fetched({window("a", 95, 0), window("b", 20, 600)}, 0), fresh(20)},
      {"only past windows: the highest old share, stale", fetched({window("a", 95, -10), window("b", 20, -600)}, 0),
       stale(95, critical)},
      {"stale just past the limit", fetched({window("a", 10, 3600)}, 901), stale(10)},
      {"a long interval widens the limit", fetched({window("a", 10, 3600)}, 1800), fresh(10), {70, 90}, 600},
  };
  for (const auto& c : cases) {
    const StatusSlot slot =
        MenuBarLabel::slot(ServiceID::codex, c.usage, c.thresholds, c.interval, fromEpochSeconds(kNow));
    EXPECT_EQ(slot, codex(c.expected)) << c.name;
  }
}

class MenuBarLabelModel : public SandboxedTest {};

TEST_F(MenuBarLabelModel, FollowsTheModelsSnapshotsAndSettings) {
  TrayTestModel data(75);
  AppModel& model = *data.model;
  const TimePoint now = data.clock.now();
  data.refreshOnce();
  model.settings().setMenuBarStyle(percent);
  EXPECT_EQ(MenuBarLabel::glyph(model, now), glyph(percent, {claude(fresh(75, warning)), codex(Kind::signedOut())}));

  // The settings' thresholds and interval decide level and freshness.
  model.settings().setWarningThreshold(80);
  model.settings().setRefreshInterval(900);
  EXPECT_EQ(MenuBarLabel::slots(model, now + Seconds(2700)).front().kind, fresh(75));
  EXPECT_TRUE(MenuBarLabel::slots(model, now + Seconds(2701)).front().kind.stale);
}

TEST(StatusGlyphSquare, BarsFillTheSlotAtEverySizeInTheLevelColours) {
  // Claude warning at 85 %, ChatGPT fresh at 30 %: Claude's bar on top, orange to 85 % of the side.
  const StatusGlyph g = glyph(percent, {claude(fresh(85, warning)), codex(fresh(30))});
  for (const int side : {16, 22, 48}) {
    SCOPED_TRACE(side);
    const QImage image = g.squareImage(false, side);
    ASSERT_EQ(image.size(), QSize(side, side));
    const qreal s = side;
    // Top bar: orange well inside the fill, none past it; bottom bar: black fill at its start.
    EXPECT_TRUE(isOrange(image.pixelColor(qRound(s * 0.5), qRound(s * 0.25))));
    EXPECT_EQ(count(image, QRectF(s * 0.9, 0, s * 0.1, s * 0.5), isOrange), 0);
    EXPECT_TRUE(isOpaqueBlack(image.pixelColor(1, qRound(s * 0.75))));
    // The gap between the bars and the margins stay clear.
    EXPECT_EQ(image.pixelColor(qRound(s * 0.5), qRound(s * 0.5)).alpha(), 0);
    EXPECT_EQ(image.pixelColor(qRound(s * 0.5), 0).alpha(), 0);
  }
  // On a dark panel the neutral parts are white; out-of-range sizes are clamped, not refused.
  const QColor neutral = g.squareImage(true, 22).pixelColor(1, 16);
  EXPECT_TRUE(neutral.alpha() > 200 && neutral.red() > 230 && neutral.green() > 230);
  EXPECT_EQ(g.squareImage(true, 0).size(), QSize(1, 1));
  EXPECT_EQ(g.squareImage(true, 100000).size(), QSize(256, 256));
}
