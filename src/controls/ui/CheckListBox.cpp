#include "controls/ui/CheckListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "util/Guard.h"

namespace tvx {

TCheckListBox::TCheckListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void TCheckListBox::SetRows(const QStringList& rows) {
  QSignalBlocker blocker(this);
  clear();
  for (const QString& text : rows) {
    auto* row = new QListWidgetItem(text, this);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    row->setCheckState(Qt::Unchecked);
  }
  setCurrentRow(-1);
}

bool TCheckListBox::Checked(int row) const {
  const QListWidgetItem* it = item(row);
  return it && it->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int row, bool checked) {
  QListWidgetItem* it = item(row);
  if (!it) return;
  const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
  if (it->checkState() != state) it->setCheckState(state);
}

QRect TCheckListBox::CheckRect(int row) const {
  QListWidgetItem* it = item(row);
  if (!it) return {};
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualItemRect(it);
  option.index = indexFromItem(it);
  option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.checkState = it->checkState();
  option.text = it->text();
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

int TCheckListBox::BoxAt(const QPoint& position) const {
  const QModelIndex index = indexAt(position);
  if (!index.isValid()) return -1;
  return CheckRect(index.row()).contains(position) ? index.row() : -1;
}

void TCheckListBox::ToggleByUser(int row) {
  SetChecked(row, !Checked(row));
  emit checkClicked(row);
}

void TCheckListBox::mousePressEvent(QMouseEvent* event) {
  const int row = event->button() == Qt::LeftButton ? BoxAt(event->position().toPoint()) : -1;
  if (row < 0) {
    pressedOnBox_ = false;
    QListWidget::mousePressEvent(event);
    return;
  }
  // The box alone: the mark changes, the selection stays where it is.
  pressedOnBox_ = true;
  event->accept();
  setFocus(Qt::MouseFocusReason);
  GuardedCall([&] { ToggleByUser(row); });
}

void TCheckListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (pressedOnBox_) {
    pressedOnBox_ = false;
    event->accept();
    return;
  }
  QListWidget::mouseReleaseEvent(event);
}

void TCheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  // the second press of a double click on a box is one more click on it
  if (event->button() == Qt::LeftButton && BoxAt(event->position().toPoint()) >= 0) {
    mousePressEvent(event);
    return;
  }
  QListWidget::mouseDoubleClickEvent(event);
}

void TCheckListBox::focusInEvent(QFocusEvent* event) {
  const bool hadCurrent = currentIndex().isValid();
  QSignalBlocker blocker(this);
  QListWidget::focusInEvent(event);
  if (!hadCurrent && currentIndex().isValid())
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

bool TCheckListBox::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (event && index.isValid()) {
    switch (event->type()) {
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Select) {
          GuardedCall([&] { ToggleByUser(index.row()); });
          return true;
        }
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        // the boxes are this list's own business (see mousePressEvent)
        return false;
      default:
        break;
    }
  }
  return QListWidget::edit(index, trigger, event);
}

}  // namespace tvx
