#pragma once

#include <QDialog>

namespace tvx {

/// "About Tarvex": the program's name, version and web address (a link).
class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  TfrmAbout(const QString& version, const QString& infoUrl, QWidget* parent = nullptr);
};

}  // namespace tvx
