#include "app/Tutorial.h"

#include <sys/stat.h>

#include <utility>


namespace tvx {
namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TTutorialPages::TTutorialPages(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

bool TTutorialPages::Exists(int page) const {
  return page >= 0 && IsFile(TextFile(page)) && IsFile(PictureFile(page));
}

bool TTutorialPages::GoTo(int page) {
  if (!Exists(page)) return false;
  page_ = page;
  return true;
}

std::string TTutorialPages::TextFile(int page) const { return folder_ + std::to_string(page) + ".html"; }
std::string TTutorialPages::PictureFile(int page) const { return folder_ + std::to_string(page) + ".bmp"; }

}  // namespace tvx
