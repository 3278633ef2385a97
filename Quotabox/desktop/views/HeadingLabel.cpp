#include "views/HeadingLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <mutex>

namespace {

class HeadingAccessible : public QAccessibleWidget {
 public:
  explicit HeadingAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Heading) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(kind);
  }
};

QAccessibleInterface* headingFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("HeadingLabel") && object && object->isWidgetType()) {
    return new HeadingAccessible(static_cast<QWidget*>(object));
  }
  return nullptr;
}

}  // namespace

HeadingLabel::HeadingLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  static std::once_flag installed;
  std::call_once(installed, [] { QAccessible::installFactory(headingFactory); });
  setTextFormat(Qt::PlainText);
}

HeadingLabel::HeadingLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
    : HeadingLabel(text, parent) {
  setFont(font);
  QPalette colors = palette();
  colors.setColor(QPalette::WindowText, color);
  setPalette(colors);
}
