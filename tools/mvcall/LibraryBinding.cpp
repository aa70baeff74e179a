#include "LibraryBinding.h"

#include <cstring>
#include <type_traits>

const char* const LibraryBinding::kOperationNames[] = {
    "ReaderRead",     "ReaderWrite",    "RSURead",    "RSUWrite",
    "ETCStatusQuery", "SendNonCashPay", "StopNonCashPay", "ListUpLoad",
    "BlackListQuery", "ListQuery",      "QueryTransDetail"};

namespace {

// Reads a function address out of the loader's untyped one.
template <typename Fn>
Fn functionAt(void* address) {
  Fn fn = nullptr;
  static_assert(sizeof(fn) == sizeof(address), "function and data pointers differ in size");
  std::memcpy(&fn, &address, sizeof(fn));
  return fn;
}

}  // namespace

LibraryBinding::LibraryBinding(const std::string& path) : library_(path) {
  if (!library_.loaded()) {
    error_ = "cannot load " + path + ": " + library_.error();
    return;
  }
  auto bind = [&](const char* name, auto& fn) {
    void* address = library_.symbol(name);
    if (address == nullptr && error_.empty()) error_ = path + " has no export named " + name;
    fn = functionAt<std::remove_reference_t<decltype(fn)>>(address);
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
