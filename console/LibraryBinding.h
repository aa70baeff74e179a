// The fourteen exports of the Marovex library, bound by name from the file loaded at run time.
#pragma once

#include <string>

#include "api/Marovex.h"
#include "platform/Platform.h"

class LibraryBinding {
 public:
  // Loads the library and binds every export. Throws std::runtime_error whose text is
  // "load DLL failed: " and the loader's reason, or the name of an export the library lacks.
  explicit LibraryBinding(const std::string& path);
  // Stops every lane (Uninit), then unloads the library.
  ~LibraryBinding();
  LibraryBinding(const LibraryBinding&) = delete;
  LibraryBinding& operator=(const LibraryBinding&) = delete;

  // The library the console loads: Marovex.dll by the loader's own search on Windows, elsewhere
  // libMarovex.so in the program's directory.
  static std::string defaultPath(const std::string& programDir);

  // Set once by the constructor; callable from any thread.
  MarovexInitFn Init = nullptr;
  MarovexUninitFn Uninit = nullptr;
  MarovexOperationFn ReaderRead = nullptr;
  MarovexOperationFn ReaderWrite = nullptr;
  MarovexOperationFn RSURead = nullptr;
  MarovexOperationFn RSUWrite = nullptr;
  MarovexOperationFn ETCStatusQuery = nullptr;
  MarovexOperationFn SendNonCashPay = nullptr;
  MarovexOperationFn StopNonCashPay = nullptr;
  MarovexOperationFn ListUpLoad = nullptr;
  MarovexOperationFn BlackListQuery = nullptr;
  MarovexOperationFn ListQuery = nullptr;
  MarovexOperationFn QueryTransDetail = nullptr;
  MarovexGetResponseFn GetResponse = nullptr;

 private:
  template <typename Fn>
  void bind(Fn& fn, const char* name);

  platform::SharedLibrary module_;
};
