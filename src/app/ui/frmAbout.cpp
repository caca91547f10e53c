#include "app/ui/frmAbout.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tvx {

TfrmAbout::TfrmAbout(const QString& version, const QString& infoUrl, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Tarvex"));
  auto* title = new QLabel(QStringLiteral("<h2>Tarvex</h2>"), this);
  auto* versionLabel = new QLabel(QStringLiteral("Version ") + version, this);
  auto* text = new QLabel(QStringLiteral("Puts a watermark on many pictures at once."), this);
  auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(infoUrl.toHtmlEscaped()), this);
  link->setTextFormat(Qt::RichText);
  link->setTextInteractionFlags(Qt::TextBrowserInteraction);
  link->setOpenExternalLinks(true);
  link->setAccessibleName(infoUrl);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(versionLabel);
  layout->addWidget(text);
  layout->addWidget(link);
  layout->addSpacing(8);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tvx
