#include "imageio/Module.h"

#include <dlfcn.h>

namespace tvx::Module {

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* Symbol(void* handle, const char* name) { return handle ? dlsym(handle, name) : nullptr; }

void Close(void* handle) {
  if (handle) dlclose(handle);
}

}  // namespace tvx::Module
