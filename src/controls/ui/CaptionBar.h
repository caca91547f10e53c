#pragma once

#include <QWidget>

namespace tvx {

/// A panel's caption: its title on a horizontal colour gradient.
class TCaptionBar : public QWidget {
  Q_OBJECT
 public:
  explicit TCaptionBar(const QString& title, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
};

}  // namespace tvx
