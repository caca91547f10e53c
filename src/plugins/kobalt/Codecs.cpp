// Format dispatch by content and file access.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Codecs.h"
#include "CodecsInternal.h"
#include "FileNames.h"
#include "FileWrite.h"
#include "RecentPictures.h"

namespace kobalt {
namespace {

// Enough for the headers of every format in all but odd files (a JPEG whose
// EXIF, ICC and other segments precede the frame header by more than this is
// read whole).
constexpr size_t kHeaderPrefix = 256 * 1024;

class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Reads up to limit bytes from the start of the file (all of it when limit is
// 0). fileSize receives the size of the whole file.
bool ReadFileBytes(const std::string& path, size_t limit, TBytes& out, size_t& fileSize) {
  // O_NONBLOCK: opening a FIFO named like a picture must not hang the run;
  // it is refused below as not a regular file. Reads of files are unaffected.
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) return false;
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  fileSize = static_cast<size_t>(st.st_size);
  size_t want = limit && limit < fileSize ? limit : fileSize;
  out.resize(want);
  size_t got = 0;
  while (got < want) {
    ssize_t n = ::read(fd.Get(), out.data() + got, want - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return true;
}

}  // namespace

// Big pictures go into huge pages where the system allows it: a fresh
// 24-megapixel block otherwise costs tens of thousands of page faults, more
// than a memory copy of it.
bool TPixelBuffer::TryResize(size_t n) noexcept {
  if (n == size_) return true;
  if (n == 0) {
    clear();
    return true;
  }
  if (n > SIZE_MAX / 4) return false;
  constexpr size_t kHuge = size_t(2) << 20;
  const size_t bytes = n * 4;
  void* block = nullptr;
  if (bytes >= 2 * kHuge) {
    block = std::aligned_alloc(kHuge, (bytes + kHuge - 1) / kHuge * kHuge);
    if (block) ::madvise(block, (bytes + kHuge - 1) / kHuge * kHuge, MADV_HUGEPAGE);
  } else {
    block = std::malloc(bytes);
  }
  if (!block) return false;
  if (data_) std::memcpy(block, data_, std::min(size_, n) * 4);
  std::free(data_);
  data_ = static_cast<uint32_t*>(block);
  size_ = n;
  return true;
}

void TPixelBuffer::resize(size_t n) {
  if (!TryResize(n)) throw std::bad_alloc();
}

void TPixelBuffer::assign(size_t n, uint32_t value) {
  resize(n);
  std::fill(data_, data_ + n, value);
}

TPixelBuffer::TPixelBuffer(std::initializer_list<uint32_t> values) {
  resize(values.size());
  std::copy(values.begin(), values.end(), data_);
}

TPixelBuffer::TPixelBuffer(const TPixelBuffer& other) {
  resize(other.size_);
  if (size_) std::memcpy(data_, other.data_, size_ * 4);
}

TPixelBuffer::~TPixelBuffer() { std::free(data_); }

uint32_t* TPixelBuffer::Release() noexcept {
  uint32_t* block = data_;
  data_ = nullptr;
  size_ = 0;
  return block;
}

bool operator==(const TPixelBuffer& a, const TPixelBuffer& b) {
  return a.size_ == b.size_ && (a.size_ == 0 || std::memcmp(a.data_, b.data_, a.size_ * 4) == 0);
}

bool operator==(const TPixelBuffer& a, const std::vector<uint32_t>& b) {
  return a.size_ == b.size() && (a.size_ == 0 || std::memcmp(a.data_, b.data(), a.size_ * 4) == 0);
}

TPictureFormat SniffFormat(const uint8_t* d, size_t n) {
  if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return TPictureFormat::Jpeg;
  if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return TPictureFormat::Png;
  if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0 ||
                 std::memcmp(d, "II+\0", 4) == 0 || std::memcmp(d, "MM\0+", 4) == 0))
    return TPictureFormat::Tiff;
  if (n >= 6 && (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0))
    return TPictureFormat::Gif;
  if (n >= 2 && d[0] == 'B' && d[1] == 'M') return TPictureFormat::Bmp;
  return TPictureFormat::Unknown;
}

bool DecodeMemory(const uint8_t* data, size_t size, TImage& image) {
  image = TImage();
  int orientation = 1;
  bool ok = false;
  switch (SniffFormat(data, size)) {
    case TPictureFormat::Jpeg:
      ok = DecodeJpeg(data, size, image);
      orientation = JpegOrientation(data, size);
      break;
    case TPictureFormat::Png: ok = DecodePng(data, size, image); break;
    case TPictureFormat::Tiff: ok = DecodeTiff(data, size, image, orientation); break;
    case TPictureFormat::Gif: ok = DecodeGif(data, size, image); break;
    case TPictureFormat::Bmp: ok = DecodeBmp(data, size, image); break;
    case TPictureFormat::Unknown: break;
  }
  if (!ok || !SaneSize(image.Width, image.Height) ||
      image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height) {
    image = TImage();
    return false;
  }
  ApplyOrientation(image, orientation);
  return true;
}

bool ReadPictureSizeMemory(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  int32_t w = 0, h = 0;
  int orientation = 1;
  bool ok = false;
  switch (SniffFormat(data, size)) {
    case TPictureFormat::Jpeg:
      ok = JpegSize(data, size, w, h);
      if (ok) orientation = JpegOrientation(data, size);
      break;
    case TPictureFormat::Png: ok = PngSize(data, size, w, h); break;
    case TPictureFormat::Tiff: ok = TiffSize(data, size, w, h, orientation); break;
    case TPictureFormat::Gif: ok = GifSize(data, size, w, h); break;
    case TPictureFormat::Bmp: ok = BmpSize(data, size, w, h); break;
    case TPictureFormat::Unknown: break;
  }
  if (!ok || !SaneSize(w, h)) return false;
  if (orientation >= 5 && orientation <= 8) std::swap(w, h);
  width = w;
  height = h;
  return true;
}

bool DecodeFile(const std::string& path, TImage& image) {
  image = TImage();
  TBytes bytes;
  size_t fileSize = 0;
  if (!ReadFileBytes(path, 0, bytes, fileSize)) return false;
  return DecodeMemory(bytes.data(), bytes.size(), image);
}

bool DecodeFileReduced(const std::string& path, int minLongSide, TImage& image) {
  image = TImage();
  TBytes bytes;
  size_t fileSize = 0;
  if (!ReadFileBytes(path, 0, bytes, fileSize)) return false;
  if (SniffFormat(bytes.data(), bytes.size()) != TPictureFormat::Jpeg)
    return DecodeMemory(bytes.data(), bytes.size(), image);
  if (!DecodeJpegReduced(bytes.data(), bytes.size(), minLongSide, image) ||
      image.Pixels.size() != size_t(image.Width) * size_t(image.Height)) {
    image = TImage();
    return false;
  }
  ApplyOrientation(image, JpegOrientation(bytes.data(), bytes.size()));
  return true;
}

bool ReadPictureSize(const std::string& path, int32_t& width, int32_t& height) {
  width = height = 0;
  TBytes bytes;
  size_t fileSize = 0;
  if (!ReadFileBytes(path, kHeaderPrefix, bytes, fileSize)) return false;
  // TIFF keeps its directory anywhere in the file; the others put their
  // headers first, so the prefix settles them unless headers are huge.
  bool whole = bytes.size() >= fileSize;
  if (!whole && SniffFormat(bytes.data(), bytes.size()) == TPictureFormat::Tiff) {
    if (!ReadFileBytes(path, 0, bytes, fileSize)) return false;
    whole = true;
  }
  if (ReadPictureSizeMemory(bytes.data(), bytes.size(), width, height)) return true;
  if (whole || SniffFormat(bytes.data(), bytes.size()) != TPictureFormat::Jpeg) return false;
  if (!ReadFileBytes(path, 0, bytes, fileSize)) return false;
  return ReadPictureSizeMemory(bytes.data(), bytes.size(), width, height);
}

bool EncodeFile(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height,
                int jpegQuality) {
  if (!pixels || !SaneSize(width, height)) return false;
  const std::string_view format = EncodedFormat(path);
  TBytes out;
  bool ok = false;
  if (format == ".bmp")
    ok = EncodeBmp(pixels, width, height, out);
  else if (format == ".jpg")
    ok = EncodeJpegToMemory(pixels, width, height, jpegQuality, out);
  else if (format == ".png")
    ok = EncodePng(pixels, width, height, out);
  else if (format == ".tif")
    ok = EncodeTiff(pixels, width, height, out);
  else if (format == ".gif")
    ok = EncodeGif(pixels, width, height, out);
  if (!ok || out.empty() || !ReplaceFileContents(path, out.data(), out.size())) return false;
  // Only JPEG files receive EXIF thumbnails.
  if (format == ".jpg") RememberSaved(path, pixels, width, height);
  return true;
}

}  // namespace kobalt
