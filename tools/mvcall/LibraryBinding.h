// The fourteen entry points of a Marovex library loaded at run time, bound by name.
#pragma once

#include <string>

#include "api/Marovex.h"
#include "platform/Platform.h"

class LibraryBinding {
 public:
  // Loads the library file; check ok() and error() afterwards.
  explicit LibraryBinding(const std::string& path);
  LibraryBinding(const LibraryBinding&) = delete;
  LibraryBinding& operator=(const LibraryBinding&) = delete;

  // True when the library loaded and every export was found.
  bool ok() const { return error_.empty(); }
  // Why binding failed: the loader's reason or the missing export's name.
  const std::string& error() const { return error_; }

  // The operation export of that name, or null.
  MarovexOperationFn operation(const std::string& name) const;

  MarovexInitFn init = nullptr;
  MarovexUninitFn uninit = nullptr;
  MarovexGetResponseFn getResponse = nullptr;

  // The names of the eleven lane operations, in the order of the header.
  static const char* const kOperationNames[];
  static constexpr int kOperationCount = 11;

 private:
  platform::SharedLibrary library_;
  MarovexOperationFn operations_[kOperationCount] = {};
  std::string error_;
};
