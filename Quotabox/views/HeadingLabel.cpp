#include "views/HeadingLabel.h"

#include <QAccessibleWidget>

namespace {
// QLabel is announced as static text; headings need their own role.
class AccessibleHeading : public QAccessibleWidget {
 public:
  explicit AccessibleHeading(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Heading) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* headingFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("HeadingLabel") && object && object->isWidgetType()) {
    return new AccessibleHeading(static_cast<QWidget*>(object));
  }
  return nullptr;
}
}  // namespace

HeadingLabel::HeadingLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  static const bool installed = [] {
    QAccessible::installFactory(headingFactory);
    return true;
  }();
  Q_UNUSED(installed);
}
