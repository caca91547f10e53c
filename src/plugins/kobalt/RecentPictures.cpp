#include "RecentPictures.h"

#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <mutex>
#include <thread>

namespace kobalt {
namespace {

struct TIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  timespec Modified{};
  bool operator==(const TIdentity& o) const {
    return Device == o.Device && Inode == o.Inode && Size == o.Size && Modified.tv_sec == o.Modified.tv_sec &&
           Modified.tv_nsec == o.Modified.tv_nsec;
  }
};

bool IdentityOf(const std::string& path, TIdentity& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  id = {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return true;
}

struct TEntry {
  TIdentity Identity;
  TImage Picture;
};

// The last two saves of each thread. A batch run saves a picture and makes
// its thumbnail on the same worker thread, so that worker's own entries
// always hold it, however many workers save meanwhile: the thumbnail comes
// from the same pixels with one worker or many, and the outputs are the same
// bytes. Any thread may recall any entry.
struct TThreadEntries {
  std::thread::id Thread;
  TEntry Entries[2];
  size_t Next = 0;
};

// More threads than this saving at once drop the oldest thread's entries;
// their pictures are then decoded again (a smooth thumbnail too, from other
// pixels).
constexpr size_t kMaxThreads = 128;

std::mutex gMutex;
std::deque<TThreadEntries> gThreads;

}  // namespace

void RememberSaved(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height) {
  TIdentity id;
  if (!pixels || width <= 0 || height <= 0 || !IdentityOf(path, id)) return;
  // Every step-th pixel of every step-th row, each the average of a 2 x 2 block.
  const int step = std::max(1, std::max(width, height) / kRememberedSide);
  const int w = std::max(1, width / step), h = std::max(1, height / step);
  TImage small;
  if (!small.Pixels.TryResize(size_t(w) * size_t(h))) return;
  small.Width = w;
  small.Height = h;
  for (int y = 0; y < h; ++y) {
    const int sy = y * step, sy2 = std::min(sy + 1, height - 1);
    for (int x = 0; x < w; ++x) {
      const int sx = x * step, sx2 = std::min(sx + 1, width - 1);
      const uint32_t p[4] = {pixels[size_t(sy) * width + sx], pixels[size_t(sy) * width + sx2],
                             pixels[size_t(sy2) * width + sx], pixels[size_t(sy2) * width + sx2]};
      uint32_t out = 0;
      for (int c = 0; c < 32; c += 8) {
        uint32_t sum = 2;
        for (uint32_t q : p) sum += (q >> c) & 0xFF;
        out |= (sum / 4) << c;
      }
      small.Pixels[size_t(y) * w + x] = out;
    }
  }
  const std::thread::id self = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(gMutex);
  auto own = std::find_if(gThreads.begin(), gThreads.end(), [&](const TThreadEntries& t) { return t.Thread == self; });
  if (own == gThreads.end()) {
    if (gThreads.size() >= kMaxThreads) gThreads.pop_front();
    gThreads.emplace_back();
    gThreads.back().Thread = self;
    own = std::prev(gThreads.end());
  }
  own->Entries[own->Next] = {id, std::move(small)};
  own->Next = (own->Next + 1) % 2;
}

bool RecallSaved(const std::string& path, TImage& picture) {
  TIdentity id;
  if (!IdentityOf(path, id)) return false;
  std::lock_guard<std::mutex> lock(gMutex);
  for (const TThreadEntries& t : gThreads)
    for (const TEntry& e : t.Entries)
      if (e.Picture.Width > 0 && e.Identity == id) {
        picture = e.Picture;
        return true;
      }
  return false;
}

}  // namespace kobalt
