#include "LibraryBinding.h"

#include <stdexcept>

template <typename Fn>
void LibraryBinding::bind(Fn& fn, const char* name) {
  fn = module_.function<Fn>(name);
  if (fn == nullptr) {
    module_.reset();
    throw std::runtime_error(name);
  }
}

LibraryBinding::LibraryBinding(const std::string& path) : module_(path) {
  if (!module_.loaded()) throw std::runtime_error("load DLL failed: " + module_.error());
  bind(Init, "Init");
  bind(Uninit, "Uninit");
  bind(ReaderRead, "ReaderRead");
  bind(ReaderWrite, "ReaderWrite");
  bind(RSURead, "RSURead");
  bind(RSUWrite, "RSUWrite");
  bind(ETCStatusQuery, "ETCStatusQuery");
  bind(SendNonCashPay, "SendNonCashPay");
  bind(StopNonCashPay, "StopNonCashPay");
  bind(ListUpLoad, "ListUpLoad");
  bind(BlackListQuery, "BlackListQuery");
  bind(ListQuery, "ListQuery");
  bind(QueryTransDetail, "QueryTransDetail");
  bind(GetResponse, "GetResponse");
}

LibraryBinding::~LibraryBinding() { Uninit(); }

std::string LibraryBinding::defaultPath(const std::string& programDir) {
#if defined(_WIN32)
  (void)programDir;
  return platform::sharedLibraryFileName("Marovex");
#else
  return programDir + platform::pathSeparator() + platform::sharedLibraryFileName("Marovex");
#endif
}
