#include "JpegFile.h"

#include <algorithm>
#include <cstring>

namespace kobalt {
namespace {

bool IsStandalone(uint8_t marker) {
  return marker == kMarkerSoi || marker == kMarkerEoi || marker == 0x01 ||
         (marker >= 0xD0 && marker <= 0xD7);
}

bool IsFrameMarker(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

bool TJpegSegment::HasLength() const { return !IsStandalone(Marker); }

bool TJpegSegment::PayloadStartsWith(std::string_view signature) const {
  return Payload.size() >= signature.size() &&
         std::memcmp(Payload.data(), signature.data(), signature.size()) == 0;
}

bool TJpegSegment::IsExif() const {
  return Marker == kMarkerApp1 && PayloadStartsWith(std::string_view("Exif\0\0", 6));
}

bool TJpegFile::ReadHeaders(const uint8_t* data, size_t size) {
  bool ok = Parse(data, size, true);
  // Only a list that reached its first scan is one to write headers of.
  valid_ = ok && !segments_.empty() && segments_.back().Marker == kMarkerSos;
  return valid_;
}

bool TJpegFile::Read(const uint8_t* data, size_t size) { return Parse(data, size, false); }

bool TJpegFile::Parse(const uint8_t* data, size_t size, bool headersOnly) {
  headersOnly_ = headersOnly;
  segments_.clear();
  scan_.clear();
  valid_ = false;
  headerBytes_ = 0;
  if (!data || size < 2 || data[0] != 0xFF || data[1] != kMarkerSoi) return false;

  size_t p = 0;
  while (p < size) {
    // One 0xFF introduces the marker; any further ones are fill bytes.
    if (data[p] != 0xFF) return false;
    size_t run = 0;
    while (p < size && data[p] == 0xFF && run < 256) ++p, ++run;
    if (p >= size || data[p] == 0xFF) return false;
    TJpegSegment segment;
    segment.Marker = data[p++];
    segment.FillBytes = static_cast<uint8_t>(run - 1);
    if (segment.Marker < 0xC0 && segment.Marker != 0x01) return false;
    if (segment.Marker == kMarkerSoi && !segments_.empty()) return false;

    if (!segment.HasLength()) {
      segments_.push_back(std::move(segment));
      if (segments_.back().Marker == kMarkerEoi) {
        // A file of headers only; nothing may follow.
        valid_ = p == size;
        return valid_;
      }
      continue;
    }

    if (size - p < 2) return false;
    size_t length = (size_t(data[p]) << 8) | data[p + 1];
    if (length < 2 || length > size - p) return false;
    segment.Payload.assign(data + p + 2, data + p + length);
    p += length;
    bool isScan = segment.Marker == kMarkerSos;
    segments_.push_back(std::move(segment));
    if (!isScan) continue;
    headerBytes_ = p;
    if (headersOnly_) return true;

    // Everything after the first scan header is kept as it stands, so
    // progressive scans and trailing images come back byte for byte.
    size_t end = size;
    bool eoi = end - p >= 2 && data[end - 2] == 0xFF && data[end - 1] == kMarkerEoi;
    if (eoi) end -= 2;
    scan_.assign(data + p, data + end);
    if (eoi) segments_.push_back(TJpegSegment{kMarkerEoi, 0, {}});
    valid_ = !scan_.empty();
    return valid_;
  }
  return false;
}

std::vector<uint8_t> TJpegFile::WriteHeaders() const {
  std::vector<uint8_t> out;
  if (!valid_) return out;
  for (const TJpegSegment& s : segments_) {
    out.insert(out.end(), size_t(s.FillBytes) + 1, uint8_t(0xFF));
    out.push_back(s.Marker);
    if (s.HasLength()) {
      if (s.Payload.size() > kMaxSegmentPayload) return {};
      size_t length = s.Payload.size() + 2;
      out.push_back(static_cast<uint8_t>(length >> 8));
      out.push_back(static_cast<uint8_t>(length & 0xFF));
      out.insert(out.end(), s.Payload.begin(), s.Payload.end());
    }
    if (s.Marker == kMarkerSos) break;
  }
  return out;
}

std::vector<uint8_t> TJpegFile::Write() const {
  std::vector<uint8_t> out;
  if (!valid_ || headersOnly_) return out;
  size_t total = scan_.size();
  for (const TJpegSegment& s : segments_) total += s.FillBytes + 4 + s.Payload.size();
  out.reserve(total);
  for (const TJpegSegment& s : segments_) {
    out.insert(out.end(), size_t(s.FillBytes) + 1, uint8_t(0xFF));
    out.push_back(s.Marker);
    if (s.HasLength()) {
      if (s.Payload.size() > kMaxSegmentPayload) return {};
      size_t length = s.Payload.size() + 2;
      out.push_back(static_cast<uint8_t>(length >> 8));
      out.push_back(static_cast<uint8_t>(length & 0xFF));
      out.insert(out.end(), s.Payload.begin(), s.Payload.end());
    }
    if (s.Marker == kMarkerSos) out.insert(out.end(), scan_.begin(), scan_.end());
  }
  return out;
}

int TJpegFile::FindExif() const {
  for (size_t i = 0; i < segments_.size(); ++i)
    if (segments_[i].IsExif()) return static_cast<int>(i);
  return -1;
}

const std::vector<uint8_t>* TJpegFile::ExifPayload() const {
  int index = FindExif();
  return index < 0 ? nullptr : &segments_[size_t(index)].Payload;
}

int TJpegFile::SetExif(std::vector<uint8_t> payload) {
  if (!valid_ || payload.size() > kMaxSegmentPayload) return -1;
  int index = FindExif();
  if (index >= 0) {
    segments_[size_t(index)].Payload = std::move(payload);
    return index;
  }
  size_t at = 1;
  while (at < segments_.size() && segments_[at].Marker == kMarkerApp0) ++at;
  Insert(at, TJpegSegment{kMarkerApp1, 0, std::move(payload)});
  return static_cast<int>(at);
}

void TJpegFile::Insert(size_t index, TJpegSegment segment) {
  size_t last = segments_.size();
  for (size_t i = 0; i < segments_.size(); ++i)
    if (segments_[i].Marker == kMarkerSos || segments_[i].Marker == kMarkerEoi) {
      last = i;
      break;
    }
  index = std::clamp<size_t>(index, segments_.empty() ? 0 : 1, last);
  segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index), std::move(segment));
}

const TJpegSegment* TJpegFile::FindFrame() const {
  for (const TJpegSegment& s : segments_)
    if (IsFrameMarker(s.Marker) && s.Payload.size() >= 6) return &s;
  return nullptr;
}

int TJpegFile::Components() const {
  const TJpegSegment* frame = FindFrame();
  return frame ? frame->Payload[5] : 0;
}

bool TJpegFile::FrameSize(int& width, int& height) const {
  const TJpegSegment* frame = FindFrame();
  if (!frame) return false;
  height = (frame->Payload[1] << 8) | frame->Payload[2];
  width = (frame->Payload[3] << 8) | frame->Payload[4];
  return width > 0 && height > 0;
}

}  // namespace kobalt
