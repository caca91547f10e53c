#pragma once

#include <array>
#include <string>

#include <QGroupBox>

#include "styles/FilterParams.h"
#include "styles/StyleRecords.h"

class QComboBox;
class QLabel;
class QSlider;

namespace tvx {

class TAngleSelector;
class TColorSelector;
class TNumEdit;

/// A slider mirrored by a numeric field, with its caption and unit, built
/// from a field of a style record's table (range, default, unit). Typing a
/// number moves the slider; moving the slider rewrites the number. The
/// slider holds the value, always inside the range.
class TSliderField : public QObject {
  Q_OBJECT

 public:
  TSliderField(QWidget* frame, int row, const TRecordField& field);

  int Value() const;
  /// Shows value (kept inside the range) in both controls; no signal.
  void SetValue(int value);
  int Default() const { return static_cast<int>(field_.Default); }

  QLabel* Caption;
  QSlider* Slider;
  TNumEdit* Edit;
  QLabel* Unit;

 signals:
  /// The user changed the value.
  void changed(int value);

 private:
  void SliderMoved(int value);
  void EditChanged();

  TRecordField field_;
  bool quiet_ = false;     // the program sets the value
  bool fromEdit_ = false;  // the field is the source: its text stays as typed
};

/// A filter kind's settings frame: a group box captioned with the kind's
/// name, one row per setting. SetDefaults, SetParams and GetParams move
/// values between the controls and a parameter block; changed() follows
/// every change the user makes and nothing the program sets.
class TFilterConfig : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr int kWidth = 300;
  static constexpr int kLabelLeft = 8;
  static constexpr int kLabelWidth = 75;
  static constexpr int kFirstRowTop = 24;  ///< the top of a row's first control
  static constexpr int kRowStep = 29;
  static constexpr int kControlLeft = kLabelLeft + kLabelWidth + 8;
  static constexpr int kSliderWidth = 120;
  static constexpr int kRowHeight = 21;
  static constexpr int kEditLeft = kControlLeft + kSliderWidth + 8;
  static constexpr int kEditWidth = 30;
  static constexpr int kUnitLeft = kEditLeft + kEditWidth + 8;

  TFilterConfig(const char* kind, int height, QWidget* parent);

  const std::string& Kind() const { return kind_; }
  /// Every control to the kind's default.
  virtual void SetDefaults() = 0;
  /// The controls from a block; no block, or one the kind refuses: SetDefaults.
  virtual void SetParams(const TFilterParams* params) = 0;
  /// A new block from the controls.
  virtual TFilterParams GetParams() const = 0;

 signals:
  void changed();

 protected:
  /// The right-aligned caption of a row, the control's buddy and accessible name.
  QLabel* AddCaption(int row, const QString& caption, QWidget* control);
  /// Puts a control at the row's left edge (or at left), centred on the row.
  void Place(QWidget* control, int row, int left, int width, int height);
  TSliderField* AddSlider(int row, const TRecordField& field);
  TColorSelector* AddColor(int row, const TRecordField& field);
  TAngleSelector* AddAngle(int row, const TRecordField& field);
  template <size_t N>
  QComboBox* AddList(int row, const TRecordField& field, const std::array<const char*, N>& rows);

  /// Fires changed() unless the program is setting the controls.
  void UserChanged();
  /// While alive, changes of the controls are the program's.
  class TLoading {
   public:
    explicit TLoading(TFilterConfig& frame) : frame_(frame), was_(frame.loading_) { frame_.loading_ = true; }
    ~TLoading() { frame_.loading_ = was_; }

   private:
    TFilterConfig& frame_;
    bool was_;
  };

 private:
  QComboBox* MakeList(int row, const TRecordField& field, const QStringList& rows);

  std::string kind_;
  bool loading_ = false;
};

template <size_t N>
QComboBox* TFilterConfig::AddList(int row, const TRecordField& field,
                                  const std::array<const char*, N>& rows) {
  QStringList texts;
  for (const char* text : rows) texts << QString::fromUtf8(text);
  return MakeList(row, field, texts);
}

/// The settings frame of a registered kind ("Stroke", "Drop Shadow",
/// "Glow", "Gradient") showing its defaults, owned by parent; null for
/// any other name.
TFilterConfig* CreateFilterConfig(const std::string& kind, QWidget* parent);

}  // namespace tvx
