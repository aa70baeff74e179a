// The loader on POSIX: dlopen, dlsym, dlclose.
#include "platform/Platform.h"

#include <dlfcn.h>

namespace platform {

std::string sharedLibraryFileName(const std::string& name) { return "lib" + name + ".so"; }

std::string sharedLibraryFileName(const std::string& name, int abiVersion) {
  return sharedLibraryFileName(name) + "." + std::to_string(abiVersion);
}

SharedLibrary::SharedLibrary(const std::string& path) {
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    error_ = reason != nullptr ? reason : "cannot load " + path;
  }
}

void* SharedLibrary::symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void SharedLibrary::reset() {
  if (handle_ != nullptr) {
    ::dlclose(handle_);
    handle_ = nullptr;
  }
}

}  // namespace platform
