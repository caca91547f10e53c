#pragma once

#include <string>

#include <QDialog>

#include "app/BatchRun.h"

class QLabel;
class QPushButton;

namespace tvx {

/// The overwrite question: "Yes" (the default), "No", "Cancel" in one row,
/// "Yes To All" and "No To All" under "Yes" and "No". Escape and the close
/// box answer Cancel. As wide as its question plus margins, at least 283
/// pixels, never wider than the screen (a long path breaks between its
/// folders); on top of other windows, centred on the screen. Ask is the ask
/// function of TExtYesNoCancel, which remembers the "to all" answers.
class TfrmExtYesNoCancel : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmExtYesNoCancel(QWidget* parent = nullptr);

  /// Shows the question modally and returns the button pressed.
  TAnswer Ask(const std::string& title, const std::string& question);
  /// Ask as TExtYesNoCancel's ask function; the dialog must outlive its use.
  TExtYesNoCancel::TAskFunc AskFunc() {
    return [this](const std::string& title, const std::string& question) { return Ask(title, question); };
  }
  /// Caption, label and size for a question, without showing it.
  void Prepare(const QString& title, const QString& question);

  QLabel* Label1;
  QPushButton* btnYes;
  QPushButton* btnNo;
  QPushButton* btnCancel;
  QPushButton* btnYesToAll;
  QPushButton* btnNoToAll;

 public slots:
  void reject() override;

 private:
  void Answer(TAnswer answer);

  TAnswer answer_ = TAnswer::Cancel;
};

}  // namespace tvx
