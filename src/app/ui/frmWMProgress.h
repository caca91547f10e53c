#pragma once

#include <cstdint>
#include <string>

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include "app/BatchRun.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tvx {

/// The progress of a batch run: a label, a bar and "Cancel" (also Escape).
/// The run is driven from the user-interface thread while its workers load,
/// draw and write the pictures; each progress check, and every few
/// milliseconds while the run waits for its workers, lets pending events
/// through, so the windows stay responsive and Cancel is pressed during it.
/// While it shows, its owner (the main window) is disabled; every request to
/// close it is refused, only the command that started the run hides it.
class TfrmWMProgress : public QDialog, public TRunProgress {
  Q_OBJECT

 public:
  /// The bar is repainted at most this often, so a run with the window costs
  /// about what it costs without.
  static constexpr int kRepaintMs = 50;
  /// While the run waits for its workers, events are let through at least this often.
  static constexpr int kWaitSliceMs = 15;

  explicit TfrmWMProgress(QWidget* owner = nullptr);

  /// Sets the label, puts the bar at 0 of maximum and shows the window.
  void Begin(const std::string& label, int32_t maximum) override;
  /// Adds n, lets pending events through, and says whether Cancel was pressed.
  bool AdvanceAndCheckCancel(int32_t n) override;
  /// Lets pending events through and says whether Cancel was pressed.
  bool CheckCancel() override;
  int WaitSliceMs() const override { return kWaitSliceMs; }
  /// Hides the window; the owner is enabled again.
  void End() { hide(); }

  bool Cancelled() const { return cancelled_; }
  int32_t Position() const { return position_; }
  int32_t Maximum() const { return maximum_; }

  QLabel* Label1;
  QProgressBar* ProgressBar;
  QPushButton* btnCancel;

 public slots:
  /// Escape: the same as Cancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void btnCancelClick();
  void ShowPosition();

  QPointer<QWidget> owner_;
  bool cancelled_ = false;
  int32_t position_ = 0;
  int32_t maximum_ = 0;
  QElapsedTimer sincePaint_;
  QTimer catchUp_;  // shows a position held back by the repaint limit
};

}  // namespace tvx
