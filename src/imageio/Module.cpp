#include "imageio/Module.h"

#include <dlfcn.h>

namespace tvx::Module {
namespace {

// Under the sanitizers a module stays mapped after it is closed: the
// libraries a plug-in pulls in (codecs that keep process-wide blocks) must
// still be known by name when the leak report is made at exit, or their
// suppressions cannot match.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif

}  // namespace

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped); }

void* Symbol(void* handle, const char* name) { return handle ? dlsym(handle, name) : nullptr; }

void Close(void* handle) {
  if (handle) dlclose(handle);
}

}  // namespace tvx::Module
