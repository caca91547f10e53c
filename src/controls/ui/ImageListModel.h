#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAbstractListModel>
#include <QFileIconProvider>
#include <QIcon>

#include "app/Session.h"

namespace tvx {

/// The rows of an image list as a Qt model over a TImageList (the paths the
/// batch run reads): one row per path, shown as the path with the icon of its
/// file type. Paths are kept in the file system's bytes and shown decoded.
///
/// Changes made through the model keep the views informed; after changing the
/// list directly, call Reload(). The list must outlive the model.
class TImageListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TImageListModel(TImageList& list, QObject* parent = nullptr);

  TImageList& List() { return list_; }
  const TImageList& List() const { return list_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  /// DisplayRole and ToolTipRole: the path; DecorationRole: GetFileIcon.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  /// Appends the paths that the list's masks accept, in one insertion;
  /// returns how many were appended.
  int Append(const std::vector<std::string>& paths);
  /// Removes the given rows (any order, duplicates and rows out of range
  /// ignored).
  void RemoveRows(std::vector<int> rows);
  void Clear();
  /// Tells the views that the list was changed directly.
  void Reload();

  /// The icon for the path's file type: one icon per lower-cased extension,
  /// the first path of each extension deciding it, kept for the model's life.
  QIcon GetFileIcon(const std::string& path) const;

 private:
  TImageList& list_;
  QFileIconProvider iconProvider_;
  mutable std::unordered_map<std::string, QIcon> icons_;
};

}  // namespace tvx
