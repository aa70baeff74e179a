// The fourteen entry points of a Marovex library loaded at run time, bound by name: the one
// binding of mvcall, the test console, the benchmark, the soak and the tests that load the library.
#pragma once

#include <string>

#include "api/Marovex.h"
#include "platform/Platform.h"

class LibraryBinding {
 public:
  // Loads the library file and binds every export; check ok() afterwards. A library that lacks an
  // export is unloaded again and every entry point stays null.
  explicit LibraryBinding(const std::string& path);
  LibraryBinding(const LibraryBinding&) = delete;
  LibraryBinding& operator=(const LibraryBinding&) = delete;

  // The library's file as a program loads it: libMarovex.so.1 (its SONAME), or Marovex.dll.
  static std::string fileName();
  // The library a program in `programDir` loads unless told otherwise: fileName() in that
  // directory when it is there (a build tree), else fileName() alone, for the loader to find in
  // its run path or the system's library directories (an installed program).
  static std::string defaultPath(const std::string& programDir);

  // True when the library loaded and every export was found.
  bool ok() const { return error_.empty(); }
  // Why binding failed: "cannot load PATH: " and the loader's reason, or "PATH has no export
  // named NAME".
  const std::string& error() const { return error_; }
  // The loader's reason when the file did not load; empty otherwise.
  const std::string& loadError() const { return loadError_; }
  // The first export, in the order bound, that the library lacks; empty otherwise.
  const std::string& missingExport() const { return missingExport_; }

  // The operation export of that name, or null.
  MarovexOperationFn operation(const std::string& name) const;

  // Set once by the constructor; callable from any thread.
  MarovexInitFn init = nullptr;
  MarovexUninitFn uninit = nullptr;
  MarovexGetResponseFn getResponse = nullptr;

  // The names of the eleven lane operations, in the order of the header.
  static const char* const kOperationNames[];
  static constexpr int kOperationCount = 11;

 private:
  void unbind();

  platform::SharedLibrary library_;
  MarovexOperationFn operations_[kOperationCount] = {};
  std::string loadError_;
  std::string missingExport_;
  std::string error_;
};
