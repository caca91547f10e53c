#include "controls/ui/CaptionBar.h"

#include <QLinearGradient>
#include <QPainter>

namespace tvx {

TCaptionBar::TCaptionBar(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
  setAccessibleName(title);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TCaptionBar::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(title_) + 16, metrics.height() + 8};
}

void TCaptionBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor highlight = palette().color(QPalette::Highlight);
  QLinearGradient gradient(0, 0, width(), 0);
  gradient.setColorAt(0, highlight.darker(130));
  gradient.setColorAt(1, palette().color(QPalette::Window));
  painter.fillRect(rect(), gradient);
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.setPen(palette().color(QPalette::HighlightedText));
  painter.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, title_);
}

}  // namespace tvx
