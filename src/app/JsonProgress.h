#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "app/BatchRun.h"

namespace tvx {

/// Machine-readable progress ("--progress jsonl"): one JSON object per line,
/// flushed at once, for every row when it is done with, in list order:
///
///   {"index":3,"source":"/in/c.jpg","output":"/out/c.jpg","status":"written","decision":"new","ms":412}
///
/// status is "written", "copied", "skipped" (with "reason": "exists" or
/// "missing"), "failed" (with "error", the composed message) or, in a dry
/// run, "planned"; "decision" says how an existing output is handled ("new",
/// "replace", "rename", "skip", "ask", "missing"). With "Keep JPEG quality"
/// on, a picture drawn and written also says which way it went: "path" is
/// "blocks" (only the watermarked blocks encoded again; then "mcus" and
/// "mcus_redrawn" count the MCUs) or "whole" (decoded, drawn and encoded
/// whole), and "path_reason" says how ("span copy", ...) or why not
/// ("progressive", "resized", "not written as a JPEG", ...). Then one final
/// object:
///
///   {"final":true,"status":"completed","written":2,"copied":0,"skipped":1,"missing":0,"failed":0,"planned":0,"exit":0}
///
/// with "error" when the run ended with one. Texts are UTF-8; a byte of a
/// path that is not is written as the escape \udcXX (XX the byte), which
/// Python's surrogateescape turns back into the byte.
class TJsonProgress : public TRunObserver {
 public:
  /// onBroken: called once when a line cannot be written (the reader has
  /// gone: a closed pipe), so the run can end rather than go on unwatched.
  explicit TJsonProgress(std::FILE* out, std::function<void()> onBroken = nullptr)
      : out_(out), onBroken_(std::move(onBroken)) {}
  void PictureDone(const TPictureEvent& event) override;
  /// status: "completed", "cancelled", "failed" or "error".
  void Final(const TRunStats& stats, const std::string& status, int exitStatus,
             const std::string& error = {});

 private:
  void Line(const std::string& text);
  std::FILE* out_;
  std::function<void()> onBroken_;
  bool broken_ = false;
};

/// text as a JSON string literal, quotes included.
std::string JsonQuote(const std::string& text);

}  // namespace tvx
