#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "raster/Bitmap32.h"

namespace tvx {

class TPluginManager;

/// Decodes the picture chosen for the preview on one worker thread, so that
/// the user-interface thread never waits for a large picture.
///
/// Every request gets a number; only the newest request is decoded next, so
/// requests made while a picture decodes are dropped without being decoded,
/// and a result that is no longer the newest request is dropped when it
/// arrives. Results reach the user-interface thread only through the post
/// function given by the owner: it must run the task it is handed on that
/// thread later (a queued invocation); the worker calls it.
///
/// All public operations belong to the user-interface thread. The worker
/// starts with the first request and runs until Stop; Stop must come before
/// the plug-ins are unloaded (the worker calls into them).
class TPreviewLoader {
 public:
  using TTask = std::function<void()>;
  using TPostFunc = std::function<void(TTask)>;
  /// The decoded picture of the current request (the request number, its path).
  using TLoadedFunc = std::function<void(uint64_t request, const std::string& path, TBitmap32&& picture)>;
  /// The current request failed: the decoder's error, or an EError when it
  /// decoded nothing.
  using TFailedFunc =
      std::function<void(uint64_t request, const std::string& path, std::exception_ptr error)>;

  TPreviewLoader(const TPluginManager& plugins, TPostFunc post);
  /// Stops the worker (see Stop).
  ~TPreviewLoader();
  TPreviewLoader(const TPreviewLoader&) = delete;
  TPreviewLoader& operator=(const TPreviewLoader&) = delete;

  /// Called on the user-interface thread with each result of the current
  /// request; set them before the first request.
  TLoadedFunc OnLoaded;
  TFailedFunc OnFailed;

  /// Asks for the picture at path; returns the request's number (numbers
  /// grow from 1). Asking for the path that is being decoded while nothing
  /// newer waits adopts that decode instead of starting a second one. After
  /// Stop nothing is decoded and 0 is returned.
  uint64_t Request(const std::string& path);
  /// The current request is no longer wanted (its picture was removed):
  /// nothing of it is delivered any more.
  void Withdraw();
  /// The number of the request whose result would be delivered; 0 when none.
  uint64_t Current() const;
  /// Ends the worker and waits for it (a decode in progress runs to its end).
  /// Once Stop returns nothing is delivered any more, also from tasks that
  /// were already posted. Further calls do nothing.
  void Stop();

  /// How many pictures the worker has decoded (or tried to); for tests and
  /// measurements.
  uint64_t DecodeCount() const;

 private:
  struct TShared;
  static void Run(const std::shared_ptr<TShared>& shared, const TPluginManager& plugins,
                  TPreviewLoader* owner);

  const TPluginManager& plugins_;
  // Shared with the worker and with every posted task; a task delivers
  // only while the shared state says the loader is alive.
  std::shared_ptr<TShared> shared_;
  std::thread worker_;
};

}  // namespace tvx
