#include "output/ui/frmResize.h"

#include <limits>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "controls/ui/FormHelpers.h"
#include "controls/ui/NumEdit.h"
#include "controls/ui/UpDown.h"

namespace tvx {
namespace {

constexpr int32_t kMinPercentage = 3;
constexpr int32_t kMaxPercentage = 10000;
constexpr int32_t kMaxResolution = 3000;

TNumEdit* MakeNumber(QWidget* parent, const char* objectName, bool acceptFloat, int32_t min, int32_t max) {
  auto* edit = new TNumEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  edit->SetAcceptFloat(acceptFloat);
  edit->SetMin(min);
  edit->SetMax(max);
  return edit;
}

// The item texts as the lists have always shown them.
constexpr std::initializer_list<const char*> kDimensions = {"Width only", "Heigh only", "Width and Height"};
constexpr std::initializer_list<const char*> kUnits = {"pixels", "inches", "cm", "mm"};

}  // namespace

TfrmResize::TfrmResize(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmResize"));
  rbPercentageOfOriginal =
      MakeControl<QRadioButton>(this, "rbPercentageOfOriginal", "Percentage of original");
  rbActualSize = MakeControl<QRadioButton>(this, "rbActualSize", "Actual/print size");
  auto* method = new QButtonGroup(this);
  method->addButton(rbPercentageOfOriginal);
  method->addButton(rbActualSize);

  pnlPercentageOfOriginal = new QWidget(this);
  pnlPercentageOfOriginal->setObjectName(QStringLiteral("pnlPercentageOfOriginal"));
  txtPercentage = MakeNumber(pnlPercentageOfOriginal, "txtPercentage", false, kMinPercentage, kMaxPercentage);
  udPercentage = new TUpDown(pnlPercentageOfOriginal);
  udPercentage->setObjectName(QStringLiteral("udPercentage"));
  udPercentage->SetRange(kMinPercentage, kMaxPercentage);
  udPercentage->SetBuddy(txtPercentage);
  lstApplyTo = MakeList(pnlPercentageOfOriginal, "lstApplyTo", kDimensions);
  {
    auto* grid = new QGridLayout(pnlPercentageOfOriginal);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* field = new QHBoxLayout;
    field->setSpacing(0);
    field->addWidget(txtPercentage);
    field->addWidget(udPercentage);
    field->addSpacing(4);
    field->addWidget(new QLabel(QStringLiteral("%"), pnlPercentageOfOriginal));
    field->addStretch(1);
    grid->addWidget(MakeBuddyLabel(pnlPercentageOfOriginal, QStringLiteral("Percentage:"), txtPercentage), 0,
                    0);
    grid->addLayout(field, 0, 1);
    grid->addWidget(MakeBuddyLabel(pnlPercentageOfOriginal, QStringLiteral("Apply to:"), lstApplyTo), 1, 0);
    grid->addWidget(lstApplyTo, 1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);
  }

  pnlActualSize = new QWidget(this);
  pnlActualSize->setObjectName(QStringLiteral("pnlActualSize"));
  txtWidth = MakeNumber(pnlActualSize, "txtWidth", true, 0, std::numeric_limits<int32_t>::max());
  lstXUnits = MakeList(pnlActualSize, "lstXUnits", kUnits);
  txtHeight = MakeNumber(pnlActualSize, "txtHeight", true, 0, std::numeric_limits<int32_t>::max());
  lstYUnits = MakeList(pnlActualSize, "lstYUnits", kUnits);
  txtResolution = MakeNumber(pnlActualSize, "txtResolution", false, 0, kMaxResolution);
  lstResolutionUnits = MakeList(pnlActualSize, "lstResolutionUnits", {"pixels/inch", "pixels/cm"});
  lstResize = MakeList(pnlActualSize, "lstResize", {"Enlarge only", "Reduce only", "Enlarge or reduce"});
  chkPreserveAspectRatio =
      MakeControl<QCheckBox>(pnlActualSize, "chkPreserveAspectRatio", "Preserve original aspect ratio");
  lstFitWithin = MakeList(pnlActualSize, "lstFitWithin", kDimensions);
  {
    auto* grid = new QGridLayout(pnlActualSize);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    auto addRow = [&](const char* caption, QWidget* field, QComboBox* unit) {
      const QString text = QString::fromLatin1(caption);
      QLabel* label = MakeBuddyLabel(pnlActualSize, text, field);
      grid->addWidget(label, row, 0);
      grid->addWidget(field, row, 1);
      if (unit) {
        grid->addWidget(unit, row, 2);
        // the unit list is known by the dimension it belongs to
        unit->setAccessibleName(text.chopped(1) + QStringLiteral(" unit"));
      }
      ++row;
    };
    addRow("Width:", txtWidth, lstXUnits);
    addRow("Height:", txtHeight, lstYUnits);
    addRow("Resolution:", txtResolution, lstResolutionUnits);
    addRow("Resize:", lstResize, nullptr);
    grid->addWidget(chkPreserveAspectRatio, row++, 0, 1, 3);
    addRow("Fit within:", lstFitWithin, nullptr);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(row, 1);
  }

  auto* methods = new QHBoxLayout;
  methods->addWidget(rbPercentageOfOriginal);
  methods->addWidget(rbActualSize);
  methods->addStretch(1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(methods);
  column->addWidget(pnlPercentageOfOriginal);
  column->addWidget(pnlActualSize);
  column->addStretch(1);

  connect(rbPercentageOfOriginal, &QRadioButton::toggled, this, &TfrmResize::UpdatePanels);
  connect(rbActualSize, &QRadioButton::toggled, this, &TfrmResize::UpdatePanels);

  // The frame as it is before settings are loaded.
  TResizeSettings initial;
  initial.Percentage = 100;
  initial.PreserveAspectRatio = false;
  SetSettings(initial);
}

void TfrmResize::LoadSettings(const TConfig& config) {
  TResizeSettings settings;
  settings.LoadSettings(config);
  SetSettings(settings);
  ValidateValues();
}

void TfrmResize::SaveSettings(TConfig& config) {
  ValidateValues();
  Settings().SaveSettings(config);
}

void TfrmResize::ValidateValues() {
  if (txtPercentage->GetIntValue() < kMinPercentage) txtPercentage->SetIntValue(kMinPercentage);
  if (txtWidth->GetIntValue() < 1) txtWidth->SetIntValue(1);
  if (txtHeight->GetIntValue() < 1) txtHeight->SetIntValue(1);
  if (txtResolution->GetIntValue() <= 0) txtResolution->SetIntValue(1);
}

TResizeSettings TfrmResize::Settings() const {
  TResizeSettings s;
  s.ResizeMethod = rbPercentageOfOriginal->isChecked() && !rbActualSize->isChecked() ? 1 : 2;
  s.Percentage = txtPercentage->GetIntValue();
  s.ApplyTo = lstApplyTo->currentIndex();
  s.XUnits = lstXUnits->currentIndex();
  s.YUnits = lstYUnits->currentIndex();
  s.Width = txtWidth->GetFloatValue();
  s.Height = txtHeight->GetFloatValue();
  s.Resolution = txtResolution->GetIntValue();
  s.ResolutionUnits = lstResolutionUnits->currentIndex();
  s.Resize = lstResize->currentIndex();
  s.PreserveAspectRatio = chkPreserveAspectRatio->isChecked();
  s.FitWithin = lstFitWithin->currentIndex();
  return s;
}

void TfrmResize::SetSettings(const TResizeSettings& s) {
  (s.ResizeMethod == 1 ? rbPercentageOfOriginal : rbActualSize)->setChecked(true);
  udPercentage->SetPosition(s.Percentage);  // the spin buttons' range keeps it in 3..10000
  SelectRow(lstApplyTo, s.ApplyTo, atWidthAndHeight);
  SelectRow(lstXUnits, s.XUnits, luPixels);
  SelectRow(lstYUnits, s.YUnits, luPixels);
  txtWidth->SetFloatValue(s.Width);
  txtHeight->SetFloatValue(s.Height);
  txtResolution->SetIntValue(s.Resolution);
  SelectRow(lstResolutionUnits, s.ResolutionUnits, ruPixelsPerInch);
  SelectRow(lstResize, s.Resize, rzEnlargeOrReduce);
  chkPreserveAspectRatio->setChecked(s.PreserveAspectRatio);
  SelectRow(lstFitWithin, s.FitWithin, atWidthAndHeight);
  UpdatePanels();
}

void TfrmResize::UpdatePanels() {
  const bool percentage = rbPercentageOfOriginal->isChecked();
  pnlPercentageOfOriginal->setVisible(percentage);
  pnlActualSize->setVisible(!percentage);
}

}  // namespace tvx
