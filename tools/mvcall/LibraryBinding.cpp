#include "LibraryBinding.h"

#include <type_traits>

const char* const LibraryBinding::kOperationNames[] = {
    "ReaderRead",     "ReaderWrite",    "RSURead",    "RSUWrite",
    "ETCStatusQuery", "SendNonCashPay", "StopNonCashPay", "ListUpLoad",
    "BlackListQuery", "ListQuery",      "QueryTransDetail"};

LibraryBinding::LibraryBinding(const std::string& path) : library_(path) {
  if (!library_.loaded()) {
    error_ = "cannot load " + path + ": " + library_.error();
    return;
  }
  auto bind = [&](const char* name, auto& fn) {
    fn = library_.function<std::remove_reference_t<decltype(fn)>>(name);
    if (fn == nullptr && error_.empty()) error_ = path + " has no export named " + name;
  };
  bind("Init", init);
  bind("Uninit", uninit);
  bind("GetResponse", getResponse);
  for (int i = 0; i < kOperationCount; ++i) bind(kOperationNames[i], operations_[i]);
}

MarovexOperationFn LibraryBinding::operation(const std::string& name) const {
  for (int i = 0; i < kOperationCount; ++i) {
    if (name == kOperationNames[i]) return operations_[i];
  }
  return nullptr;
}
