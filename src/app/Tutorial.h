#pragma once

#include <string>

namespace tvx {

/// The pages of the welcome tour: page n is "n.html" (its text) and "n.bmp"
/// (its picture) in the tour's folder, and exists only when both files do.
/// Pages are numbered from 0 without gaps that matter: moving to a page that
/// does not exist changes nothing.
class TTutorialPages {
 public:
  /// folder: the tour's folder with or without a trailing "/".
  explicit TTutorialPages(std::string folder);

  bool Exists(int page) const;
  /// The page shown; starts at 0.
  int Page() const { return page_; }
  void Start() { page_ = 0; }
  /// Moves to page when it exists; returns whether it moved.
  bool GoTo(int page);
  bool Back() { return GoTo(page_ - 1); }
  bool Next() { return GoTo(page_ + 1); }
  bool CanGoBack() const { return Exists(page_ - 1); }
  /// No page follows: the next button reads "Finish".
  bool IsLast() const { return !Exists(page_ + 1); }

  std::string TextFile(int page) const;
  std::string PictureFile(int page) const;

 private:
  std::string folder_;
  int page_ = 0;
};

}  // namespace tvx
