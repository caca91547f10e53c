#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace tvx {

/// A binary stream that knows its size and position. Every stored format of
/// the program (watermark files, layer blocks, style records) goes through
/// one. Readers must check lengths and counts read from a stream against
/// Remaining() before allocating anything sized by them.
class TStream {
 public:
  virtual ~TStream() = default;

  /// Reads up to count bytes; returns how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  /// Writes all count bytes or throws EError.
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  /// Moves to an absolute position; positions past the end are allowed for
  /// writing (the gap reads as zeros), reading there gives nothing.
  virtual void Seek(int64_t position) = 0;

  int64_t Remaining() const;

  /// Reads exactly count bytes or throws "TStream::ReadBuffer::1 - Stream read error!".
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count) { Write(buffer, count); }

  /// Little-endian integers and IEEE floats, the only encodings the formats use.
  template <typename T>
  T ReadValue() {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    T value;
    ReadBuffer(&value, sizeof value);
    return value;  // the program only targets little-endian machines
  }
  template <typename T>
  void WriteValue(T value) {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    Write(&value, sizeof value);
  }

  /// Four-character signatures ("TVX1", "STR1", ...).
  void WriteSignature(const char (&signature)[5]) { Write(signature, 4); }
  /// Reads four bytes as a signature string (throws on a short read).
  std::string ReadSignature();
};

/// A stream over a growable byte vector. It can also take bytes to read.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  TMemoryStream(const void* bytes, size_t count);

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return position_; }
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void Seek(int64_t position) override;

  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t> TakeBytes() { position_ = 0; return std::move(data_); }
  void Clear() { data_.clear(); position_ = 0; }

  /// Replaces the content with the whole file; throws EError when it cannot be read.
  void LoadFromFile(const std::string& path);
  /// Writes the whole content to a temporary file beside path and renames it
  /// over path, so a failure never leaves a truncated file; throws EError.
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace tvx
