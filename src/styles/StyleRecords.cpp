#include "styles/StyleRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tvx {
namespace {

bool HasSignature(const TFilterParams& params, const char (&signature)[5]) {
  return params.Size() >= 4 && std::memcmp(params.Data.data(), signature, 4) == 0;
}

template <typename T>
T Get(const TFilterParams& params, uint32_t offset) {
  T value;
  std::memcpy(&value, params.Data.data() + offset, sizeof value);
  return value;
}

template <typename T>
void Put(TFilterParams& params, uint32_t offset, T value) {
  std::memcpy(params.Data.data() + offset, &value, sizeof value);
}

void PutSignature(TFilterParams& params, const char (&signature)[5]) {
  std::memcpy(params.Data.data(), signature, 4);
}

template <typename T>
T Clamped(T value, const TRecordField& field) {
  return static_cast<T>(std::clamp<double>(value, field.Min, field.Max));
}

}  // namespace

std::optional<TStrokeRecord> TStrokeRecord::FromParams(const TFilterParams* params) {
  if (!params || params->Size() != BlockSize || !HasSignature(*params, Signature)) return std::nullopt;
  TStrokeRecord r;
  r.Size = Clamped(Get<int32_t>(*params, Fields[0].Offset), Fields[0]);
  r.Opacity = Clamped(Get<int32_t>(*params, Fields[1].Offset), Fields[1]);
  r.Position = Get<int32_t>(*params, Fields[2].Offset) == spOutside ? spOutside : spInside;
  r.Color = Get<uint32_t>(*params, Fields[3].Offset);
  return r;
}

TFilterParams TStrokeRecord::ToParams() const {
  TFilterParams params(BlockSize);
  PutSignature(params, Signature);
  Put(params, Fields[0].Offset, Size);
  Put(params, Fields[1].Offset, Opacity);
  Put(params, Fields[2].Offset, Position);
  Put(params, Fields[3].Offset, Color);
  return params;
}

std::optional<TShadowRecord> TShadowRecord::FromParams(const TFilterParams* params) {
  if (!params || params->Size() != BlockSize || !HasSignature(*params, Signature)) return std::nullopt;
  const auto& f = ShadowFields;
  TShadowRecord r;
  r.Size = Clamped(Get<int32_t>(*params, f[0].Offset), f[0]);
  r.Opacity = Clamped(Get<uint32_t>(*params, f[1].Offset), f[1]);
  r.Distance = Clamped(Get<uint32_t>(*params, f[2].Offset), f[2]);
  r.Angle = Get<float>(*params, f[3].Offset);
  if (!std::isfinite(r.Angle)) r.Angle = 0;
  r.Color = Get<uint32_t>(*params, f[4].Offset);
  return r;
}

TFilterParams TShadowRecord::ToParams() const {
  TFilterParams params(BlockSize);
  PutSignature(params, Signature);
  const auto& f = ShadowFields;
  Put(params, f[0].Offset, Size);
  Put(params, f[1].Offset, Opacity);
  Put(params, f[2].Offset, Distance);
  Put(params, f[3].Offset, Angle);
  Put(params, f[4].Offset, Color);
  return params;
}

TGradient TGradRecord::FromParams(const TFilterParams* params) {
  TGradient g;
  if (!params || params->Size() < HeaderSize || !HasSignature(*params, Signature)) return g;
  g.SetAngle(Get<float>(*params, Fields[0].Offset));
  g.Type = static_cast<uint8_t>(Get<int32_t>(*params, Fields[1].Offset) & 0xFF);
  g.StartColor = Get<uint32_t>(*params, Fields[2].Offset);
  g.EndColor = Get<uint32_t>(*params, Fields[3].Offset);
  // a count larger than the block holds takes only the stops that fit
  const int64_t stated = Get<int32_t>(*params, Fields[4].Offset);
  const int64_t fit = static_cast<int64_t>((params->Size() - HeaderSize) / StopSize);
  const int64_t count = std::clamp<int64_t>(stated, 0, fit);
  g.Stops.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    const auto at = static_cast<uint32_t>(HeaderSize + StopSize * i);
    g.Stops.push_back(TGradColor{Get<uint32_t>(*params, at + StopFields[0].Offset),
                                 Get<float>(*params, at + StopFields[1].Offset)});
  }
  return g;
}

TGradient TGradRecord::ForFrame(const TFilterParams* params) {
  TGradient g = FromParams(params);
  if (g.Type > gtRadial) g.Type = gtLinear;
  if (!std::isfinite(g.Angle())) g.SetAngle(0);
  return g;
}

TFilterParams TGradRecord::ToParams(const TGradient& gradient) {
  TFilterParams params(HeaderSize + StopSize * gradient.Stops.size());
  PutSignature(params, Signature);
  Put(params, Fields[0].Offset, gradient.Angle());
  // the type is written sign-extended from its byte
  Put(params, Fields[1].Offset, static_cast<int32_t>(static_cast<int8_t>(gradient.Type)));
  Put(params, Fields[2].Offset, gradient.StartColor);
  Put(params, Fields[3].Offset, gradient.EndColor);
  Put(params, Fields[4].Offset, static_cast<int32_t>(gradient.Stops.size()));
  for (size_t i = 0; i < gradient.Stops.size(); ++i) {
    const auto at = static_cast<uint32_t>(HeaderSize + StopSize * i);
    Put(params, at + StopFields[0].Offset, gradient.Stops[i].Color);
    Put(params, at + StopFields[1].Offset, gradient.Stops[i].Position);
  }
  return params;
}

std::optional<TFilterParams> FrameBlock(const std::string& kind, const TFilterParams* params) {
  if (kind == kStrokeKind)
    return TStrokeRecord::FromParams(params).value_or(TStrokeRecord::Defaults()).ToParams();
  if (kind == kDropShadowKind)
    return TShadowRecord::FromParams(params).value_or(TShadowRecord::Defaults()).ToParams();
  if (kind == kGlowKind) {
    // the glow's frame shows size, opacity and colour, and writes no displacement
    TShadowRecord r = TShadowRecord::FromParams(params).value_or(TShadowRecord::GlowDefaults());
    r.Distance = 0;
    r.Angle = 0;
    return r.ToParams();
  }
  if (kind == kGradientKind) return TGradRecord::ToParams(TGradRecord::ForFrame(params));
  return std::nullopt;
}

std::optional<TFilterParams> DefaultFrameBlock(const std::string& kind) { return FrameBlock(kind, nullptr); }

}  // namespace tvx
