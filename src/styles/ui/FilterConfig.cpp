#include "styles/ui/FilterConfig.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "controls/ui/AngleSelector.h"
#include "controls/ui/ColorSelector.h"
#include "controls/ui/FormHelpers.h"
#include "controls/ui/NumEdit.h"
#include "styles/ui/DropShadowFilter.h"
#include "styles/ui/GlowFilter.h"
#include "styles/ui/GradFilter.h"
#include "styles/ui/StrokeFilter.h"

namespace tvx {
namespace {

int RowTop(int row) { return TFilterConfig::kFirstRowTop + TFilterConfig::kRowStep * row; }

QString CaptionOf(const TRecordField& field) { return QString::fromUtf8(field.Name) + QLatin1Char(':'); }

QString NameOf(const char* prefix, const TRecordField& field) {
  return QString::fromLatin1(prefix) + QString::fromUtf8(field.Name);
}

}  // namespace

// ---- TSliderField -----------------------------------------------------------------

TSliderField::TSliderField(QWidget* frame, int row, const TRecordField& field)
    : QObject(frame), field_(field) {
  const QString caption = CaptionOf(field);
  Slider = new QSlider(Qt::Horizontal, frame);
  Slider->setObjectName(NameOf("tb", field));
  Slider->setRange(static_cast<int>(field.Min), static_cast<int>(field.Max));
  Slider->setPageStep(5);
  Slider->setTickPosition(QSlider::NoTicks);
  Slider->setGeometry(TFilterConfig::kControlLeft, RowTop(row), TFilterConfig::kSliderWidth,
                      TFilterConfig::kRowHeight);
  Edit = new TNumEdit(frame);
  Edit->setObjectName(NameOf("txt", field));
  Edit->SetAcceptFloat(false);
  Edit->SetMin(static_cast<int32_t>(field.Min));
  Edit->SetMax(static_cast<int32_t>(field.Max));
  Edit->setGeometry(TFilterConfig::kEditLeft, RowTop(row), TFilterConfig::kEditWidth,
                    TFilterConfig::kRowHeight);
  Caption = new QLabel(caption, frame);
  Caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Caption->setGeometry(TFilterConfig::kLabelLeft, RowTop(row), TFilterConfig::kLabelWidth,
                       TFilterConfig::kRowHeight);
  Caption->setBuddy(Slider);
  Slider->setAccessibleName(caption);
  Edit->setAccessibleName(caption);
  Unit = new QLabel(QString::fromUtf8(field.Unit), frame);
  Unit->setGeometry(TFilterConfig::kUnitLeft, RowTop(row), 30, TFilterConfig::kRowHeight);
  Unit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SetValue(Default());

  connect(Slider, &QSlider::valueChanged, this, &TSliderField::SliderMoved);
  connect(Edit, &TNumEdit::changed, this, &TSliderField::EditChanged);
}

int TSliderField::Value() const { return Slider->value(); }

void TSliderField::SetValue(int value) {
  quiet_ = true;
  Slider->setValue(value);  // the slider keeps it in range
  Edit->SetIntValue(Slider->value());
  quiet_ = false;
}

void TSliderField::SliderMoved(int value) {
  if (quiet_) return;
  if (!fromEdit_) {
    quiet_ = true;
    Edit->SetIntValue(value);
    quiet_ = false;
  }
  emit changed(value);
}

void TSliderField::EditChanged() {
  if (quiet_) return;
  // An empty or partly typed number moves the slider to the nearest value
  // it can hold; the text stays as typed until editing ends.
  fromEdit_ = true;
  Slider->setValue(std::clamp(Edit->GetIntValue(), Slider->minimum(), Slider->maximum()));
  fromEdit_ = false;
}

// ---- TFilterConfig ----------------------------------------------------------------

TFilterConfig::TFilterConfig(const char* kind, int height, QWidget* parent)
    : QGroupBox(QString::fromUtf8(kind), parent), kind_(kind) {
  setObjectName(QString::fromUtf8(kind).remove(QLatin1Char(' ')) + QStringLiteral("Filter"));
  setAccessibleName(QString::fromUtf8(kind));
  setFixedSize(kWidth, height);
}

QLabel* TFilterConfig::AddCaption(int row, const QString& caption, QWidget* control) {
  QLabel* label = MakeBuddyLabel(this, caption, control);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(kLabelLeft, RowTop(row), kLabelWidth, kRowHeight);
  return label;
}

void TFilterConfig::Place(QWidget* control, int row, int left, int width, int height) {
  // Taller controls (a list's natural height) stay centred on the row.
  const int top = RowTop(row) - std::max(0, height - kRowHeight) / 2;
  control->setGeometry(left, top, width, height);
}

TSliderField* TFilterConfig::AddSlider(int row, const TRecordField& field) {
  auto* slider = new TSliderField(this, row, field);
  connect(slider, &TSliderField::changed, this, [this] { UserChanged(); });
  return slider;
}

TColorSelector* TFilterConfig::AddColor(int row, const TRecordField& field) {
  auto* color = new TColorSelector(this);
  color->setObjectName(NameOf("clr", field));
  color->SetColor(static_cast<uint32_t>(field.Default));
  AddCaption(row, CaptionOf(field), color);
  Place(color, row, kControlLeft, color->sizeHint().width(), color->sizeHint().height());
  connect(color, &TColorSelector::colorChanged, this, [this] { UserChanged(); });
  return color;
}

TAngleSelector* TFilterConfig::AddAngle(int row, const TRecordField& field) {
  auto* angle = new TAngleSelector(this);
  angle->setObjectName(NameOf("ang", field));
  angle->SetAngle(static_cast<float>(field.Default));
  AddCaption(row, CaptionOf(field), angle);
  angle->setGeometry(kControlLeft, RowTop(row), angle->sizeHint().width(), angle->sizeHint().height());
  connect(angle, &TAngleSelector::angleChanged, this, [this] { UserChanged(); });
  return angle;
}

QComboBox* TFilterConfig::MakeList(int row, const TRecordField& field, const QStringList& rows) {
  auto* list = new QComboBox(this);
  list->setObjectName(NameOf("lst", field));
  {
    QSignalBlocker blocker(list);
    list->addItems(rows);
    list->setCurrentIndex(static_cast<int>(field.Default));
  }
  AddCaption(row, CaptionOf(field), list);
  Place(list, row, kControlLeft, kUnitLeft - 8 - kControlLeft,
        std::max(kRowHeight, list->sizeHint().height()));
  connect(list, &QComboBox::currentIndexChanged, this, [this] { UserChanged(); });
  return list;
}

void TFilterConfig::UserChanged() {
  if (!loading_) emit changed();
}

TFilterConfig* CreateFilterConfig(const std::string& kind, QWidget* parent) {
  TFilterConfig* frame = nullptr;
  if (kind == kStrokeKind)
    frame = new TStrokeFilter(parent);
  else if (kind == kDropShadowKind)
    frame = new TDropShadowFilter(parent);
  else if (kind == kGlowKind)
    frame = new TGlowFilter(parent);
  else if (kind == kGradientKind)
    frame = new TGradFilter(parent);
  if (frame) frame->SetDefaults();
  return frame;
}

}  // namespace tvx
