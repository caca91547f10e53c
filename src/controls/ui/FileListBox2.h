#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QIcon>
#include <QListView>

#include "app/Session.h"
#include "controls/FileListRules.h"

namespace tvx {

class TImageListModel;

/// The image list: one 18-pixel row per picture path, each with the icon of
/// its file type and the path shortened in the middle when it does not fit,
/// odd rows striped a little darker. Several rows can be selected. Files and
/// folders dropped from a file manager are added (a folder by the files in
/// it and its subfolders), as far as the list's masks accept them.
///
/// The rows are the paths of a TImageList, normally the session's, which the
/// batch run reads; the list must outlive the control. The Delete key asks
/// the owner to remove the selected rows (removeSelectedRequested), so the
/// owner can do what goes with it. Accessible name "Image List".
class TFileListBox2 : public QListView {
  Q_OBJECT

 public:
  /// Shows list's paths and adds to them under list's masks.
  explicit TFileListBox2(TImageList& list, QWidget* parent = nullptr);
  /// With a list of its own.
  explicit TFileListBox2(QWidget* parent = nullptr);
  ~TFileListBox2() override;

  TImageList& ImageList() { return *list_; }
  TImageListModel& Model() { return *model_; }
  int Count() const;

  /// Appends the paths that match a mask (every path without masks), in
  /// their order; the same path may be added again. Returns how many paths
  /// were examined.
  int AddFiles(const std::vector<std::string>& paths);
  /// Removes the selected rows (nothing selected: nothing happens).
  void RemoveSelected();
  /// Removes every row.
  void Clear();
  /// The list was changed directly (e.g. by the command line): show it again.
  void Reload();
  /// The selected rows, ascending.
  std::vector<int> SelectedRows() const;
  /// The current row, or -1.
  int CurrentRow() const;

  const std::vector<std::string>& FileMasks() const { return list_->Masks; }
  void SetFileMasks(const std::vector<std::string>& masks) { list_->Masks = masks; }

  int StripesIntensity() const { return stripesIntensity_; }
  /// Takes only a value different from the current one and below 254, and
  /// then repaints; other values are ignored.
  void SetStripesIntensity(int value);

  /// The icon shown for a path: one per lower-cased extension.
  QIcon GetFileIcon(const std::string& path) const;

 signals:
  /// The Delete key was pressed.
  void removeSelectedRequested();
  /// The current row changed (also by rows removed before it, or by clearing);
  /// -1 when there is none.
  void currentRowChanged(int row);
  /// Paths were dropped onto the list; added is how many were appended.
  void filesDropped(int added);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void Init();
  /// Signals the current row when it differs from the one last signalled.
  void ReportCurrentRow();

  std::unique_ptr<TImageList> ownList_;
  TImageList* list_;
  TImageListModel* model_;
  int stripesIntensity_ = kDefaultStripesIntensity;
  int reportedRow_ = -1;
};

}  // namespace tvx
