#pragma once

#include <QDialog>

#include "app/Tutorial.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTextBrowser;

namespace tvx {

/// The welcome tour ("Welcome"): a picture and a text per page, "< Back",
/// "Next >" (which reads "Finish" on the last page) and "Close". Finish opens
/// the illustrated tutorial in the browser when "Open Tutorial" is ticked.
class TfrmTutorial : public QDialog {
  Q_OBJECT
 public:
  /// programFolder: where "Tutorial/" and "help/" are, with a trailing "/".
  TfrmTutorial(const std::string& programFolder, QWidget* parent = nullptr);

  /// Goes to page 0 and shows the window (modeless).
  void ShowTour();
  const TTutorialPages& Pages() const { return pages_; }

 private:
  void ShowPage();
  void Back();
  void NextOrFinish();

  std::string programFolder_;
  TTutorialPages pages_;
  QLabel* picture_;
  QTextBrowser* text_;
  QCheckBox* chkOpenTutorial_;
  QPushButton* btnBack_;
  QPushButton* btnNext_;
  QPushButton* btnClose_;
};

}  // namespace tvx
