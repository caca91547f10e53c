#include "controls/ui/FileListBox2.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QUrl>

#include "util/Guard.h"
#include "controls/ui/ImageListModel.h"

namespace tvx {
namespace {

constexpr int kIconSize = 16;
// Room for the icon beside the text.
constexpr int kIconSpace = 20;

// Draws the rows: stripes, the icon and the path shortened in the middle.
class TFileListDelegate : public QStyledItemDelegate {
 public:
  explicit TFileListDelegate(TFileListBox2& list) : QStyledItemDelegate(&list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    QColor background;
    if (selected) {
      background = option.palette.color(group, QPalette::Highlight);
    } else {
      const TColor32 base = option.palette.color(group, QPalette::Base).rgba();
      background = QColor::fromRgba(StripeColor(base, index.row(), list_.StripesIntensity()));
    }
    painter->fillRect(r, background);

    const bool rtl = option.direction == Qt::RightToLeft;
    const QRect textRect = rtl ? r.adjusted(0, 0, -kIconSpace, 0) : r.adjusted(kIconSpace, 0, 0, 0);
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(textRect,
                      Qt::AlignVCenter | (rtl ? Qt::AlignRight : Qt::AlignLeft) | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(text, Qt::ElideMiddle, textRect.width()));

    const QRect iconRect = rtl ? QRect(r.right() + 1 - (kIconSize + 2), r.top() + 1, kIconSize, kIconSize)
                               : QRect(r.left() + 2, r.top() + 1, kIconSize, kIconSize);
    const QIcon icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
    if (!icon.isNull()) icon.paint(painter, iconRect);

    if ((option.state & QStyle::State_HasFocus) && list_.hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(option);
      focus.backgroundColor = background;
      list_.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, &list_);
    }
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    // as wide as the view (the text is shortened to fit), one fixed height
    return QSize(1, kFileListRowHeight);
  }

 private:
  const TFileListBox2& list_;
};

std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  return paths;
}

}  // namespace

TFileListBox2::TFileListBox2(TImageList& list, QWidget* parent) : QListView(parent), list_(&list) { Init(); }

TFileListBox2::TFileListBox2(QWidget* parent)
    : QListView(parent), ownList_(std::make_unique<TImageList>()), list_(ownList_.get()) {
  Init();
}

TFileListBox2::~TFileListBox2() = default;

void TFileListBox2::Init() {
  model_ = new TImageListModel(*list_, this);
  setModel(model_);
  setItemDelegate(new TFileListDelegate(*this));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // One row height for all: the view need not ask each of thousands of rows.
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setIconSize(QSize(kIconSize, kIconSize));
  setTextElideMode(Qt::ElideMiddle);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
  setAccessibleName(QStringLiteral("Image List"));
  // A reset forgets the current row without a word, and rows removed before
  // it renumber it: both change the row the owner shows.
  connect(model_, &QAbstractItemModel::modelReset, this, &TFileListBox2::ReportCurrentRow);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &TFileListBox2::ReportCurrentRow);
}

void TFileListBox2::ReportCurrentRow() {
  GuardedCall([&] {
    const int row = CurrentRow();
    if (row == reportedRow_) return;
    reportedRow_ = row;
    emit currentRowChanged(row);
  });
}

int TFileListBox2::Count() const { return static_cast<int>(list_->Paths.size()); }

int TFileListBox2::AddFiles(const std::vector<std::string>& paths) {
  model_->Append(paths);
  return static_cast<int>(paths.size());
}

std::vector<int> TFileListBox2::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

int TFileListBox2::CurrentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

void TFileListBox2::RemoveSelected() { model_->RemoveRows(SelectedRows()); }

void TFileListBox2::Clear() { model_->Clear(); }

void TFileListBox2::Reload() { model_->Reload(); }

void TFileListBox2::SetStripesIntensity(int value) {
  if (!AcceptsStripesIntensity(stripesIntensity_, value)) return;
  stripesIntensity_ = value;
  viewport()->update();
}

QIcon TFileListBox2::GetFileIcon(const std::string& path) const { return model_->GetFileIcon(path); }

void TFileListBox2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    GuardedCall([&] { emit removeSelectedRequested(); });
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

void TFileListBox2::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalPaths(event->mimeData()).empty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListBox2::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalPaths(event->mimeData()).empty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TFileListBox2::dropEvent(QDropEvent* event) {
  GuardedCall([&] {
    const std::vector<std::string> paths = LocalPaths(event->mimeData());
    if (paths.empty()) {
      event->ignore();
      return;
    }
    event->acceptProposedAction();
    const int added = model_->Append(ExpandDroppedPaths(paths));
    emit filesDropped(added);
  });
}

void TFileListBox2::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QListView::currentChanged(current, previous);
  ReportCurrentRow();
}

}  // namespace tvx
