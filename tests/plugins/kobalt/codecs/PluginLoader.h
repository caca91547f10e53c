#pragma once

// A small loader for the built kobalt.fp, enough for its own tests: the module
// goes through dlopen and InitFilePlugin exactly as the host loads it.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imageio/FilePlugin.h"
#include "support/TestSupport.h"

namespace kobalt::test {

class TLoadedPlugin {
 public:
  TLoadedPlugin() {
    std::string path = (tvx::test::BinDir() / "kobalt.fp").string();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    auto init = reinterpret_cast<TInitFilePluginFunc>(dlsym(handle_, "InitFilePlugin"));
    if (init) plugin_ = init();
  }
  ~TLoadedPlugin() {
    if (plugin_) {
      plugin_->Finalize();
      plugin_->FreeMemory(plugin_);
    }
    if (handle_) dlclose(handle_);
  }
  TLoadedPlugin(const TLoadedPlugin&) = delete;
  TLoadedPlugin& operator=(const TLoadedPlugin&) = delete;

  tvx::TFilePlugin* operator->() const { return plugin_; }
  explicit operator bool() const { return plugin_ != nullptr; }

 private:
  void* handle_ = nullptr;
  tvx::TFilePlugin* plugin_ = nullptr;
};

/// A decoded picture copied out of the plug-in's block (which goes back at once).
struct TPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};

inline TPicture Load(const TLoadedPlugin& plugin, const std::string& path) {
  tvx::TPictureData data = plugin->LoadBitmap(path);
  TPicture picture{data.Width, data.Height, {}};
  if (data.Pixels) {
    picture.Pixels.assign(data.Pixels, data.Pixels + size_t(data.Width) * data.Height);
    plugin->FreeMemory(data.Pixels);
  }
  return picture;
}

}  // namespace kobalt::test
