#pragma once

#include <string>

namespace tvx {

/// The one place that talks to the dynamic loader, so the plug-in manager
/// never calls dlopen, dlsym or dlclose itself. A handle is a plain pointer
/// (null when nothing is loaded); closing it is the caller's duty.
namespace Module {

/// Maps the shared object at path with RTLD_NOW | RTLD_LOCAL: unresolved
/// symbols fail the load at once, and a plug-in's symbols never leak into
/// another's. Null when it cannot be loaded.
void* Open(const std::string& path);
/// Address of an exported symbol, or null.
void* Symbol(void* handle, const char* name);
/// Unmaps the module; nothing for null.
void Close(void* handle);

}  // namespace Module
}  // namespace tvx
