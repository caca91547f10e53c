#include "styles/ui/GradFilter.h"

#include <QComboBox>
#include <QPushButton>

#include "controls/ui/AngleSelector.h"
#include "controls/ui/FormHelpers.h"
#include "styles/ui/GradSelector.h"
#include "util/Guard.h"

namespace tvx {

TGradFilter::TGradFilter(QWidget* parent) : TFilterConfig(kGradientKind, 150, parent) {
  const auto& f = TGradRecord::Fields;
  lstType = AddList(0, f[1], TGradRecord::TypeNames);

  grdGradient = new TGradSelector(this);
  grdGradient->setObjectName(QStringLiteral("grdGradient"));
  AddCaption(1, QStringLiteral("Gradient:"), grdGradient);
  grdGradient->setAccessibleName(QStringLiteral("Gradient"));
  Place(grdGradient, 1, kControlLeft, 75, kRowHeight);
  btnReverse = MakeControl<QPushButton>(this, "btnReverse", QStringLiteral("Reverse"));
  // reaches the right edge of the type list
  const int reverseLeft = kControlLeft + 75 + 8;
  Place(btnReverse, 1, reverseLeft, lstType->geometry().right() + 1 - reverseLeft, kRowHeight);

  angAngle = AddAngle(2, f[0]);

  connect(grdGradient, &TGradSelector::gradientChanged, this, [this] { UserChanged(); });
  connect(btnReverse, &QPushButton::clicked, this, [this] { GuardedCall([this] { btnReverseClick(); }); });
}

void TGradFilter::SetDefaults() { Show(TGradient{}); }

void TGradFilter::SetParams(const TFilterParams* params) { Show(TGradRecord::ForFrame(params)); }

void TGradFilter::Show(const TGradient& g) {
  TLoading loading(*this);
  lstType->setCurrentIndex(g.Type);
  grdGradient->SetGradient(g);
  angAngle->SetAngle(g.Angle());
}

TFilterParams TGradFilter::GetParams() const {
  TGradient g = grdGradient->Gradient();
  const int type = lstType->currentIndex();
  g.Type = static_cast<uint8_t>(type >= gtLinear && type <= gtRadial ? type : gtLinear);
  g.SetAngle(angAngle->Angle());
  return TGradRecord::ToParams(g);
}

void TGradFilter::btnReverseClick() { grdGradient->SetGradient(grdGradient->Gradient().Reversed()); }

}  // namespace tvx
