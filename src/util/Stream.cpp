#include "util/Stream.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "util/AtomicFile.h"
#include "util/Error.h"

namespace tvx {

int64_t TStream::Remaining() const {
  return std::max<int64_t>(0, Size() - Position());
}

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) RaiseError("TStream::ReadBuffer", 1, "Stream read error!");
}

std::string TStream::ReadSignature() {
  std::string signature(4, '\0');
  ReadBuffer(signature.data(), 4);
  return signature;
}

TMemoryStream::TMemoryStream(const void* bytes, size_t count)
    : data_(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (count == 0 || position_ >= Size()) return 0;
  size_t n = std::min<size_t>(count, static_cast<size_t>(Size() - position_));
  if (n == 0) return 0;  // an empty destination may be a null pointer, which memcpy must not see
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  size_t end = static_cast<size_t>(position_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
}

void TMemoryStream::Seek(int64_t position) {
  if (position < 0) RaiseError("TMemoryStream::Seek", 1, "Invalid stream position!");
  position_ = position;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) RaiseError("TMemoryStream::LoadFromFile", 1, "Cannot open file " + path + "!");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) RaiseError("TMemoryStream::LoadFromFile", 2, "Cannot read file " + path + "!");
  data_ = std::move(bytes);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  WriteFileAtomically(path, data_.data(), data_.size());
}

}  // namespace tvx
