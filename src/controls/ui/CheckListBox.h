#pragma once

#include <QListWidget>
#include <QStringList>

namespace tvx {

/// A list whose rows carry check boxes, for lists where checking a row and
/// selecting it mean different things. A click on a row's box toggles its
/// mark and leaves the selection alone; Space toggles the current row's
/// mark; either signals checkClicked after the mark changed. A click on a
/// row's text and the arrow keys select, signalling currentRowChanged as
/// every list does. Marks set by the program signal nothing. Gaining the
/// focus makes no row current (a list view would make the first one
/// current, which here would select it).
class TCheckListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TCheckListBox(QWidget* parent = nullptr);

  /// Replaces the rows, all unchecked, none current; signals nothing.
  void SetRows(const QStringList& rows);
  bool Checked(int row) const;
  /// Sets a mark without signalling checkClicked.
  void SetChecked(int row, bool checked);
  /// The row's check box, in viewport coordinates; empty for no such row.
  QRect CheckRect(int row) const;

  using QListWidget::edit;

 signals:
  /// The user toggled the row's mark; Checked(row) tells the new state.
  void checkClicked(int row);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  /// The row whose box lies under a viewport point, -1 for none.
  int BoxAt(const QPoint& position) const;
  void ToggleByUser(int row);

  bool pressedOnBox_ = false;
};

}  // namespace tvx
