#pragma once

#include <string>

#include <QDialog>

#include "app/BatchRun.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tvx {

/// The end of a run that went on past pictures that failed: the counts, and
/// the failed pictures with their messages in list order, as text the user
/// can select and copy. Captioned with the command's title ("Watermarking",
/// "Resizing").
class TfrmRunSummary : public QDialog {
  Q_OBJECT

 public:
  TfrmRunSummary(const std::string& title, const TRunStats& stats, QWidget* parent = nullptr);

  QLabel* lblCounts;
  QPlainTextEdit* memFailed;
  QPushButton* btnOK;
};

}  // namespace tvx
