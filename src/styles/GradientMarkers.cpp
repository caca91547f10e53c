#include "styles/GradientMarkers.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tvx {

float TGradientMarkers::PositionOfLeft(int32_t left) {
  return static_cast<float>(left + MarkerCentre - RampLeft) / static_cast<float>(RampWidth);
}

int32_t TGradientMarkers::LeftOfPosition(float position) {
  if (!std::isfinite(position)) return StartLeft;
  const double left = std::trunc(static_cast<double>(RampWidth) * position + RampLeft - MarkerCentre);
  return static_cast<int32_t>(std::clamp(left, -1e6, 1e6));
}

bool TGradientMarkers::InAddBand(int32_t, int32_t y) {
  const int32_t bottom = RampTop + RampHeight;
  return y >= bottom && y <= bottom + AddBand;
}

void TGradientMarkers::Load(const TGradient& gradient) {
  markers_.clear();
  selected_ = -1;
  type_ = gradient.Type;
  angle_ = gradient.Angle();
  markers_.push_back({gradient.StartColor, 0.0f, StartLeft, StartLeft, StartLeft});
  markers_.push_back({gradient.EndColor, 1.0f, EndLeft, EndLeft, EndLeft});
  for (const TGradColor& stop : gradient.Stops) {
    TGradientMarker m{stop.Color, stop.Position, 0, StartLeft + 1, EndLeft - 2};
    m.Left = std::clamp(LeftOfPosition(stop.Position), m.MinLeft, m.MaxLeft);
    markers_.push_back(m);
  }
}

TGradient TGradientMarkers::Gradient() const {
  TGradient g;
  if (markers_.size() < 2) return g;
  g.StartColor = markers_[0].Color;
  g.EndColor = markers_[1].Color;
  for (size_t i = 2; i < markers_.size(); ++i) g.Stops.push_back({markers_[i].Color, markers_[i].Position});
  g.Type = type_;
  g.SetAngle(angle_);
  return g;
}

void TGradientMarkers::Select(int index) { selected_ = index >= 0 && index < Count() ? index : -1; }

int TGradientMarkers::MarkerAt(int32_t x, int32_t y) const {
  if (y < MarkerTop || y >= MarkerTop + MarkerHeight) return -1;
  for (int i = Count() - 1; i >= 0; --i)
    if (x >= markers_[i].Left && x < markers_[i].Left + MarkerWidth) return i;
  return -1;
}

bool TGradientMarkers::MoveTo(int index, int32_t left) {
  if (index < 0 || index >= Count()) return false;
  TGradientMarker& m = markers_[index];
  left = std::clamp(left, m.MinLeft, m.MaxLeft);
  if (left == m.Left) return false;
  m.Left = left;
  m.Position = PositionOfLeft(left);
  return true;
}

bool TGradientMarkers::Nudge(int steps) {
  if (selected_ < 0 || IsEnd(selected_) || steps == 0) return false;
  TGradientMarker& m = markers_[selected_];
  const float from = std::isfinite(m.Position) ? m.Position : PositionOfLeft(m.Left);
  const float position = std::clamp(from + NudgeStep * static_cast<float>(steps), PositionOfLeft(m.MinLeft),
                                    PositionOfLeft(m.MaxLeft));
  if (position == m.Position) return false;
  m.Position = position;
  m.Left = std::clamp(LeftOfPosition(position), m.MinLeft, m.MaxLeft);
  return true;
}

int TGradientMarkers::AddAt(int32_t x, uint32_t color) {
  TGradientMarker m{color, 0.0f, 0, StartLeft + 1, EndLeft - 1};
  m.Left = std::clamp(x - MarkerCentre, m.MinLeft, m.MaxLeft);
  m.Position = PositionOfLeft(m.Left);
  markers_.push_back(m);
  selected_ = Count() - 1;
  return selected_;
}

int TGradientMarkers::Insert() {
  if (markers_.size() < 2) return -1;
  const int from = selected_ >= 0 ? selected_ : 0;
  const float a = markers_[from].Position;
  // the nearest marker to the right, or to the left of the end marker
  float b = 1.0f;
  bool found = false;
  for (const TGradientMarker& m : markers_)
    if (m.Position > a && (!found || m.Position < b)) {
      b = m.Position;
      found = true;
    }
  if (!found) {
    b = 0.0f;
    for (const TGradientMarker& m : markers_)
      if (m.Position < a && m.Position > b) b = m.Position;
  }
  return AddAt(LeftOfPosition((a + b) / 2) + MarkerCentre);
}

bool TGradientMarkers::DeleteSelected() {
  if (selected_ < 0 || IsEnd(selected_)) return false;
  markers_.erase(markers_.begin() + selected_);
  selected_ = -1;
  return true;
}

bool TGradientMarkers::SetColor(int index, uint32_t color) {
  if (index < 0 || index >= Count() || markers_[index].Color == color) return false;
  markers_[index].Color = color;
  return true;
}

bool TGradientMarkers::SelectNeighbour(int direction) {
  if (markers_.empty() || direction == 0) return false;
  // along the ramp: by drawn place, then by creation
  std::vector<int> order(markers_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [this](int a, int b) { return markers_[a].Left < markers_[b].Left; });
  int next;
  if (selected_ < 0) {
    next = direction > 0 ? order.front() : order.back();
  } else {
    const auto at = static_cast<int>(std::find(order.begin(), order.end(), selected_) - order.begin());
    const int to = std::clamp(at + (direction > 0 ? 1 : -1), 0, Count() - 1);
    next = order[to];
  }
  if (next == selected_) return false;
  selected_ = next;
  return true;
}

}  // namespace tvx
