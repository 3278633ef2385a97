#pragma once

#include <QImage>
#include <QString>
#include <vector>

// What the tray item shows: the glyph at 1x and 2x, its text form and the spoken description, and
// a square form at several slot sizes for hosts that fit icons into a square.
struct TrayFace {
  QImage image;    // device pixel ratio 1
  QImage image2x;  // device pixel ratio 2
  QString label;   // e.g. "C 43% · G 12%"
  QString labelGuide;
  QString tooltip;
  std::vector<QImage> squareImages;  // device pixel ratio 1, one per slot size, smallest first

  bool sameImage(const TrayFace& other) const {
    return image == other.image && image2x == other.image2x && squareImages == other.squareImages;
  }
  bool operator==(const TrayFace& other) const {
    return sameImage(other) && label == other.label && labelGuide == other.labelGuide && tooltip == other.tooltip;
  }
};
