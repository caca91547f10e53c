#pragma once

#include <QDialog>

#include "imageio/WatermarkExif.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tvx {

/// "JPEG Properties": the four EXIF fields a watermark writes into every
/// output picture. Ticking a box puts the focus on its text; typing into a
/// text ticks its box. Texts are kept whether their boxes are ticked or not.
class TfrmSetupExif : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmSetupExif(QWidget* parent = nullptr);

  /// Shows the dialog on exif. OK stores the dialog's values in exif (the
  /// comment's lines separated by CR LF) and returns true; Cancel, Escape or
  /// the close box leave exif as it was and return false.
  bool Edit(Watermark::TWatermarkExif& exif);

  /// Fills the controls; no box is ticked by it.
  void SetValues(const Watermark::TWatermarkExif& exif);
  /// The controls' values as a record.
  Watermark::TWatermarkExif Values() const;

  QCheckBox* chkTitle;
  QCheckBox* chkCopyright;
  QCheckBox* chkArtist;
  QCheckBox* chkComment;
  QLineEdit* txtTitle;
  QLineEdit* txtCopyright;
  QLineEdit* txtArtist;
  QPlainTextEdit* memComment;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 private:
  void Pair(QCheckBox* box, QWidget* input);
  bool filling_ = false;
};

}  // namespace tvx
