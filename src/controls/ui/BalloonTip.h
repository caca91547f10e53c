#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "controls/BalloonMessage.h"

class QLabel;

namespace tvx {

/// How long an error balloon stays, in milliseconds.
inline constexpr int kBalloonTimeoutMs = 8000;

class TBalloonTip;

/// Shows the control's balloon with icon, title and text, replacing what it
/// showed before. timeoutMs 0 keeps it until HideBalloonTip or until the
/// control hides. Returns the balloon (owned by the control).
TBalloonTip* ShowBalloonTip(QWidget* control, TBalloonIcon icon, const QString& title, const QString& text,
                            int timeoutMs = kBalloonTimeoutMs);

/// A balloon hint beside a control: an icon, a bold title and a text shown
/// unchanged (plain text, line breaks kept). Each control has at most one;
/// it belongs to the control, so it goes away with it, and it hides when the
/// control hides. It never takes the keyboard focus.
class TBalloonTip : public QWidget {
  Q_OBJECT

 public:
  TBalloonIcon Icon() const { return icon_; }
  QString Title() const;
  QString Text() const;
  QWidget* Control() const { return control_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend TBalloonTip* ShowBalloonTip(QWidget*, TBalloonIcon, const QString&, const QString&, int);
  explicit TBalloonTip(QWidget* control);
  void Present(TBalloonIcon icon, const QString& title, const QString& text, int timeoutMs);
  void Place();

  QPointer<QWidget> control_;
  TBalloonIcon icon_ = TBalloonIcon::None;
  QLabel* iconLabel_;
  QLabel* titleLabel_;
  QLabel* textLabel_;
  QTimer timer_;
  bool tailUp_ = true;  // the tail points up at the control above it
};

TBalloonTip* ShowBalloonTip(QWidget* control, const TBalloonMessage& message,
                            int timeoutMs = kBalloonTimeoutMs);
void HideBalloonTip(QWidget* control);
/// The control's balloon, shown or not; nullptr when it never had one.
TBalloonTip* FindBalloonTip(const QWidget* control);
/// Shows the balloon while the pointer rests on the control and hides it when
/// the pointer leaves. The text also becomes the control's accessible description.
void AttachBalloonHint(QWidget* control, TBalloonIcon icon, const QString& title, const QString& text);

}  // namespace tvx
