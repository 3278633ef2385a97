#include <gtest/gtest.h>

#include "tray/PopoverPlacement.h"
#include "tray/PopoverWindowFitter.h"

namespace {

const QRectF screen(0, 0, 1280, 800);
// Panels that reserve their strip, 30 px deep, on each edge.
const PopoverArea topPanel{screen, {0, 30, 1280, 770}};
const PopoverArea bottomPanel{screen, {0, 0, 1280, 770}};
const PopoverArea leftPanel{screen, {40, 0, 1240, 800}};
const PopoverArea rightPanel{screen, {0, 0, 1240, 800}};
// A tray (trayer, say) that reserves nothing: the whole screen is available.
const PopoverArea noStrut{screen, screen};

}  // namespace

using P = PanelEdge;
using E = PopoverEdge;

TEST(PopoverPlacementTest, OpensBesideTheIconAwayFromItsPanelClampedIntoTheScreenButNeverOverTheIcon) {
  const struct {
    const char* name;
    QRectF icon;
    PopoverArea area;
    double height;
    QRectF frame;
    std::optional<PanelEdge> panel = {};
    std::optional<PopoverEdge> fixed = {};
  } cases[] = {
      {"top panel: below, centred", {630, 4, 24, 24}, topPanel, 400, {462, 30, 360, 400}, P::top, E::top},
      {"bottom panel: above", {630, 774, 24, 24}, bottomPanel, 400, {462, 370, 360, 400}, P::bottom, E::bottom},
      {"left panel: to the right", {8, 300, 24, 24}, leftPanel, 400, {40, 300, 360, 400}, P::left, E::top},
      {"right panel: to the left", {1248, 300, 24, 24}, rightPanel, 400, {880, 300, 360, 400}, P::right, E::top},
      // Without a strut the icon's own edge is the limit.
      {"no strut, icon at the top", {630, 0, 24, 24}, noStrut, 400, {462, 24, 360, 400}, P::top, E::top},
      {"no strut, icon at the bottom", {630, 776, 24, 24}, noStrut, 400, {462, 376, 360, 400}, P::bottom, E::bottom},
      // A click point (an empty rectangle) in the panel's strip.
      {"click in the top strip", {1260, 15, 0, 0}, topPanel, 400, {912, 30, 360, 400}, P::top, E::top},
      // Clamped into the screen less the margin (the click above covers the right side).
      {"top-left corner", {0, 0, 24, 24}, noStrut, 400, {8, 24, 360, 400}},
      {"side panel near the bottom moves up", {1248, 700, 24, 24}, rightPanel, 400, {880, 392, 360, 400}},
      // Taller than the room: cut to it, edge still at the panel (a top panel: the high-DPI case below).
      {"too tall above a bottom panel", {630, 774, 24, 24}, bottomPanel, 5000, {462, 8, 360, 762}},
      {"too tall beside a side panel", {8, 300, 24, 24}, leftPanel, 5000, {40, 8, 360, 784}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PopoverPlacement placement = PopoverPlacement::place(c.icon, {360, c.height}, c.area);
    EXPECT_EQ(placement.frame, c.frame);
    // The edges, where the row names them.
    EXPECT_EQ(c.panel.value_or(placement.panel), placement.panel);
    EXPECT_EQ(c.fixed.value_or(placement.fixedEdge), placement.fixedEdge);
  }
}

TEST(PopoverPlacementTest, TellsThePanelEdgeFromStrutsThenFromTheNearestEdge) {
  const std::tuple<const char*, QRectF, PopoverArea, PanelEdge> cases[] = {
      {"corner without strut prefers a horizontal panel", {1256, 0, 24, 24}, noStrut, P::top},
      {"corner with a right strut", {1250, 0, 24, 24}, rightPanel, P::right},
      {"bottom corner", {0, 776, 24, 24}, noStrut, P::bottom},
      {"left edge, mid height", {0, 400, 24, 24}, noStrut, P::left},
      {"right edge, mid height", {1256, 400, 24, 24}, noStrut, P::right},
      // No available area known: the screen stands in for it.
      {"area unknown", {630, 790, 0, 0}, {screen, QRectF()}, P::bottom},
  };
  for (const auto& [name, icon, area, panel] : cases) EXPECT_EQ(PopoverPlacement::panelEdge(icon, area), panel) << name;
}

TEST(PopoverPlacementTest, HighDpiPointsBecomeLogicalPerScreen) {
  const std::tuple<const char*, QPointF, QRectF, double, QPointF> cases[] = {
      {"1.5x at the origin", {1890, 1050}, {0, 0, 1280, 720}, 1.5, {1260, 700}},
      // A second screen keeps its native origin; only the offset from it is scaled.
      {"2x right of a 1920 screen", {1920 + 2520, 30}, {1920, 0, 1280, 720}, 2, {1920 + 1260, 15}},
  };
  for (const auto& [name, native, screen, ratio, logical] : cases) {
    EXPECT_EQ(PopoverPlacement::toLogical(native, screen, ratio), logical) << name;
  }
  // A 2560 x 1440 panel at 200 %: 720 logical pixels, a 30-px bar; the popover fits under it.
  const PopoverArea scaled{{0, 0, 1280, 720}, {0, 30, 1280, 690}};
  const QPointF click = PopoverPlacement::toLogical({2520, 30}, scaled.screen, 2);
  EXPECT_EQ(PopoverPlacement::place(QRectF(click, QSizeF()), {360, 778}, scaled).frame, QRectF(912, 30, 360, 682));
}

TEST(PopoverWindowFitterTest, IgnoresFirstLayoutAndSubPixelChanges) {
  const QRectF icon(630, 4, 24, 24);
  const QRectF frame(462, 30, 360, 400);
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 1, icon, topPanel));
  EXPECT_FALSE(PopoverWindowFitter::fit(frame, 400.5, icon, topPanel));
  EXPECT_EQ(PopoverWindowFitter::fit(frame, 400.6, icon, topPanel), QRectF(462, 30, 360, 400.6));
  // A window the window manager pushed elsewhere goes back beside the icon.
  EXPECT_EQ(PopoverWindowFitter::fit({462, 0, 360, 400}, 400, icon, topPanel), frame);
}

TEST(PopoverWindowFitterTest, GrowingThenShrinkingReturnsToTheSameSpotBesideTheIcon) {
  const std::tuple<const char*, QRectF, PopoverArea, QRectF, QRectF> cases[] = {
      {"bottom panel keeps its bottom", {630, 774, 24, 24}, bottomPanel, {462, 8, 360, 762}, {462, 520, 360, 250}},
      {"side panel returns to the icon", {8, 600, 24, 24}, leftPanel, {40, 8, 360, 784}, {40, 542, 360, 250}},
  };
  for (const auto& [name, icon, area, tall, small] : cases) {
    SCOPED_TRACE(name);
    const auto grown =
        PopoverWindowFitter::fit(PopoverPlacement::place(icon, {360, 250}, area).frame, 5000, icon, area);
    const auto shrunk = PopoverWindowFitter::fit(grown.value_or(QRectF()), 250, icon, area);
    EXPECT_EQ(grown, tall);
    EXPECT_EQ(shrunk, small);
  }
}

TEST(PopoverWindowFitterTest, AWindowTheSystemPlacedKeepsItsTopAndStaysInside) {
  const QRectF available(0, 30, 1280, 770);
  EXPECT_EQ(PopoverWindowFitter::fit({460, 100, 360, 400}, 250, std::nullopt, {screen, available}),
            QRectF(460, 100, 360, 250));
  // Taller than the area: the height stops at the available height less the margin.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 100, 360, 400}, 5000, std::nullopt, {screen, available}),
            QRectF(460, 38, 360, 762));
  // Growing below the bottom: moved up rather than leave the screen.
  EXPECT_EQ(PopoverWindowFitter::fit({460, 300, 360, 300}, 600, std::nullopt, {screen, available}),
            QRectF(460, 200, 360, 600));
  // Nothing known about the screen: only the height follows.
  EXPECT_EQ(PopoverWindowFitter::fit({0, 0, 360, 400}, 5000, std::nullopt, {}), QRectF(0, 0, 360, 5000));
}
