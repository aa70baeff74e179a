#include "LibraryBinding.h"

#include <filesystem>
#include <system_error>
#include <type_traits>

const char* const LibraryBinding::kOperationNames[] = {
    "ReaderRead",     "ReaderWrite",    "RSURead",    "RSUWrite",
    "ETCStatusQuery", "SendNonCashPay", "StopNonCashPay", "ListUpLoad",
    "BlackListQuery", "ListQuery",      "QueryTransDetail"};

LibraryBinding::LibraryBinding(const std::string& path) : library_(path) {
  if (!library_.loaded()) {
    loadError_ = library_.error();
    error_ = "cannot load " + path + ": " + loadError_;
    return;
  }
  auto bind = [&](const char* name, auto& fn) {
    fn = library_.function<std::remove_reference_t<decltype(fn)>>(name);
    if (fn == nullptr && missingExport_.empty()) missingExport_ = name;
  };
  bind("Init", init);
  bind("Uninit", uninit);
  for (int i = 0; i < kOperationCount; ++i) bind(kOperationNames[i], operations_[i]);
  bind("GetResponse", getResponse);
  if (!missingExport_.empty()) {
    error_ = path + " has no export named " + missingExport_;
    unbind();
  }
}

void LibraryBinding::unbind() {
  init = nullptr;
  uninit = nullptr;
  getResponse = nullptr;
  for (MarovexOperationFn& fn : operations_) fn = nullptr;
  library_.reset();
}

std::string LibraryBinding::fileName() {
  return platform::sharedLibraryFileName("Marovex", MAROVEX_ABI_VERSION);
}

std::string LibraryBinding::defaultPath(const std::string& programDir) {
  if (programDir.empty()) return fileName();
  const std::filesystem::path beside = std::filesystem::path(programDir) / fileName();
  std::error_code ec;
  return std::filesystem::is_regular_file(beside, ec) ? beside.string() : fileName();
}

MarovexOperationFn LibraryBinding::operation(const std::string& name) const {
  for (int i = 0; i < kOperationCount; ++i) {
    if (name == kOperationNames[i]) return operations_[i];
  }
  return nullptr;
}
