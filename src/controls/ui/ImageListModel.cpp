#include "controls/ui/ImageListModel.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

#include "controls/FileListRules.h"

namespace tvx {
namespace {

// Removing more separate runs than this rebuilds the views once instead.
constexpr size_t kMaxRemovedRuns = 64;

QString Decoded(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

TImageListModel::TImageListModel(TImageList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {}

int TImageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.Paths.size());
}

QVariant TImageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= list_.Paths.size())
    return {};
  const std::string& path = list_.Paths[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
      return Decoded(path);
    case Qt::DecorationRole:
      return GetFileIcon(path);
    default:
      return {};
  }
}

int TImageListModel::Append(const std::vector<std::string>& paths) {
  // The masks are applied on a copy first: the views must hear of the rows
  // before they exist.
  TImageList accepted;
  accepted.Masks = list_.Masks;
  accepted.Add(paths);
  if (accepted.Paths.empty()) return 0;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(accepted.Paths.size()) - 1);
  list_.Paths.insert(list_.Paths.end(), std::make_move_iterator(accepted.Paths.begin()),
                     std::make_move_iterator(accepted.Paths.end()));
  endInsertRows();
  return static_cast<int>(accepted.Paths.size());
}

void TImageListModel::RemoveRows(std::vector<int> rows) {
  const int count = rowCount();
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= count; }),
             rows.end());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (rows.empty()) return;
  // Runs of neighbouring rows, removed from the last so the earlier rows keep their numbers.
  std::vector<std::pair<int, int>> runs;
  for (int r : rows) {
    if (!runs.empty() && runs.back().second + 1 == r)
      runs.back().second = r;
    else
      runs.emplace_back(r, r);
  }
  auto& paths = list_.Paths;
  if (runs.size() > kMaxRemovedRuns) {
    beginResetModel();
    std::vector<bool> removed(paths.size(), false);
    for (int r : rows) removed[static_cast<size_t>(r)] = true;
    size_t out = 0;
    for (size_t i = 0; i < paths.size(); ++i)
      if (!removed[i]) paths[out++] = std::move(paths[i]);
    paths.resize(out);
    endResetModel();
    return;
  }
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    beginRemoveRows(QModelIndex(), run->first, run->second);
    paths.erase(paths.begin() + run->first, paths.begin() + run->second + 1);
    endRemoveRows();
  }
}

void TImageListModel::Clear() {
  if (list_.Paths.empty()) return;
  beginResetModel();
  list_.Paths.clear();
  endResetModel();
}

void TImageListModel::Reload() {
  beginResetModel();
  endResetModel();
}

QIcon TImageListModel::GetFileIcon(const std::string& path) const {
  const std::string key = FileIconKey(path);
  auto it = icons_.find(key);
  if (it != icons_.end()) return it->second;
  QIcon icon = iconProvider_.icon(QFileInfo(Decoded(path)));
  if (icon.isNull()) icon = iconProvider_.icon(QFileIconProvider::File);
  icons_.emplace(key, icon);
  return icon;
}

}  // namespace tvx
