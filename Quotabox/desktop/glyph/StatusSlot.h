#pragma once

#include <QString>

#include "model/ServiceID.h"
#include "settings/UsageLevel.h"

// Qt's `slots` keyword macro would erase the glyph's `slots` members. The project declares no
// slot sections (it connects lambdas), so the keyword is dropped wherever the glyph is seen.
#undef slots

// What the tray glyph shows for one service.
struct StatusSlot {
  // A usage figure, or why there is none. Only `value` carries data; the other cases keep the
  // payload at its defaults so that equality compares the case alone.
  struct Kind {
    enum class Case { value, loading, signedOut, error };

    Case tag = Case::loading;
    double percent = 0;
    UsageLevel level = UsageLevel::normal;
    bool stale = false;

    static Kind value(double percent, UsageLevel level, bool stale) { return {Case::value, percent, level, stale}; }
    static Kind loading() { return {Case::loading}; }
    static Kind signedOut() { return {Case::signedOut}; }
    static Kind error() { return {Case::error}; }

    bool isValue() const { return tag == Case::value; }
    // A fresh value at warning or critical: the only thing drawn in colour.
    bool isAlert() const { return isValue() && !stale && level != UsageLevel::normal; }
    bool operator==(const Kind&) const = default;
  };

  ServiceID service = ServiceID::claude;
  Kind kind;

  // "C" for Claude, "G" for ChatGPT.
  QString letter() const;
  // "…" loading, "–" signed out, "!" failed, otherwise the rounded percentage ("43%").
  QString valueText() const;
  // e.g. "Claude 85퍼센트 사용, 주의, 오래된 데이터".
  QString spokenText() const;

  bool operator==(const StatusSlot&) const = default;
};
