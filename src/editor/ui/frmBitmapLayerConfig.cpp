#include "editor/ui/frmBitmapLayerConfig.h"

#include <exception>

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"
#include "imageio/PluginManager.h"
#include "util/Config.h"
#include "util/Paths.h"
#include "watermark/BitmapLayer.h"

namespace tvx {
namespace {

constexpr const char* kTitle = "Picture Layer Configuration";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QString BrowseWithDialog(QWidget* parent, const QString& folder, const QString& filter) {
  QFileDialog dialog(parent, QStringLiteral("Open Picture"), folder, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

void ReportWithBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

TfrmBitmapLayerConfig::TfrmBitmapLayerConfig(TConfig& config, const TPluginManager& plugins, QWidget* parent)
    : QDialog(parent), config_(config), plugins_(plugins), browse_(BrowseWithDialog), report_(ReportWithBox) {
  setObjectName(QStringLiteral("frmBitmapLayerConfig"));
  setWindowTitle(QString::fromLatin1(kTitle));

  lblHint = new QLabel(QStringLiteral("Enter layer name and select picture file, please."), this);
  txtLayerName = new QLineEdit(this);
  txtLayerName->setObjectName(QStringLiteral("txtLayerName"));
  txtFileName = new QLineEdit(this);
  txtFileName->setObjectName(QStringLiteral("txtFileName"));
  txtFileName->setMinimumWidth(320);
  btnBrowse = MakeControl<QPushButton>(this, "btnBrowse", QStringLiteral("..."));
  btnBrowse->setToolTip(QStringLiteral("Choose the picture file"));
  btnBrowse->setAutoDefault(false);
  btnOK = MakeControl<QPushButton>(this, "btnOK", QStringLiteral("OK"));
  btnOK->setDefault(true);
  btnCancel = MakeControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"));
  btnCancel->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Layer Name:"), txtLayerName), 0, 0);
  grid->addWidget(txtLayerName, 0, 1, 1, 2);
  grid->addWidget(MakeBuddyLabel(this, QStringLiteral("Bitmap:"), txtFileName), 1, 0);
  grid->addWidget(txtFileName, 1, 1);
  grid->addWidget(btnBrowse, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(lblHint);
  column->addLayout(grid);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnBrowse, &QPushButton::clicked, this, [this] { GuardedCall([this] { btnBrowseClick(); }); });
}

void TfrmBitmapLayerConfig::SetBrowser(TBrowseFunc browse) {
  browse_ = browse ? std::move(browse) : BrowseWithDialog;
}

void TfrmBitmapLayerConfig::SetErrorReporter(TErrorFunc report) {
  report_ = report ? std::move(report) : ReportWithBox;
}

int TfrmBitmapLayerConfig::Configure(TBitmapLayer& layer) {
  layer_ = &layer;
  txtLayerName->setText(Q(layer.DisplayName()));
  txtFileName->setText(Q(layer.FileName));
  txtLayerName->setFocus(Qt::OtherFocusReason);
  txtLayerName->selectAll();
  const int result = exec();
  layer_ = nullptr;
  return result == QDialog::Accepted ? 1 : 2;
}

void TfrmBitmapLayerConfig::btnBrowseClick() {
  std::vector<std::string> masks;
  const QString filter = QtFileFilter(BuildOpenFilter(plugins_.Formats(), masks));
  const std::string folder =
      config_.ReadString("GlobalOptions", "OpenBitmapLayerInitialDir", ProgramFolder() + "Sample Watermarks");
  const QString chosen = browse_(this, Q(folder), filter);
  if (chosen.isEmpty()) return;
  txtFileName->setText(chosen);
  config_.WriteString("GlobalOptions", "OpenBitmapLayerInitialDir", ExtractFilePath(S(chosen)));
}

bool TfrmBitmapLayerConfig::ApplyToLayer() {
  if (!layer_) return true;
  TBitmapLayer& layer = *layer_;
  const std::string oldName = layer.Name, oldFile = layer.FileName;
  try {
    layer.ApplySettings(S(txtLayerName->text()), S(txtFileName->text()), plugins_);
    return true;
  } catch (const std::exception& e) {
    // The picture stays as it was; so do the name and the file it came from.
    layer.Name = oldName;
    layer.FileName = oldFile;
    report_(this, QString::fromUtf8(e.what()));
    txtFileName->setFocus(Qt::OtherFocusReason);
    return false;
  }
}

void TfrmBitmapLayerConfig::done(int result) {
  bool close = true;
  if (result == QDialog::Accepted) GuardedCall([&] { close = ApplyToLayer(); });
  if (close) QDialog::done(result);
}

}  // namespace tvx
