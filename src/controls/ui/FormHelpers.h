#pragma once

#include <exception>
#include <initializer_list>

#include <QComboBox>
#include <QDebug>
#include <QLabel>
#include <QSignalBlocker>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>

#include "util/Guard.h"

namespace tvx {

// Small pieces every dialog needs: controls named as the code names them,
// whose accessible name is their visible caption, so assistive technology
// (and the tests that drive the windows as it does) finds them by that caption.

template <typename TControl>
TControl* MakeControl(QWidget* parent, const char* objectName, const QString& caption) {
  auto* control = new TControl(caption, parent);
  control->setObjectName(QString::fromLatin1(objectName));
  control->setAccessibleName(caption);
  return control;
}

/// A drop-down list of fixed rows; filling it emits nothing.
inline QComboBox* MakeList(QWidget* parent, const char* objectName, std::initializer_list<const char*> rows) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(objectName));
  QSignalBlocker blocker(list);
  for (const char* row : rows) list->addItem(QString::fromUtf8(row));
  return list;
}

/// The caption of a list, slider or field: its buddy, and the control's
/// accessible name (a list is otherwise known by its current row).
inline QLabel* MakeBuddyLabel(QWidget* parent, const QString& caption, QWidget* control) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(control);
  control->setAccessibleName(caption);
  return label;
}

/// An open-dialog filter as the core builds it ("All files|*.bmp;*.jpg;|BMP
/// files|*.bmp|") as Qt's name filters ("All files (*.bmp *.jpg);;BMP files (*.bmp)").
inline QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return filters.join(QStringLiteral(";;"));
}

/// Selects row, or fallback when row is not a row of the list.
inline void SelectRow(QComboBox* list, int row, int fallback) {
  list->setCurrentIndex(row >= 0 && row < list->count() ? row : (fallback < list->count() ? fallback : -1));
}

}  // namespace tvx
