// The loader on Windows: LoadLibraryA, GetProcAddress, FreeLibrary.
#include "platform/WindowsHeaders.h"

#include "platform/Platform.h"

namespace platform {

namespace {

// The system's text for an error code, as "error N: text".
std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

}  // namespace

std::string sharedLibraryFileName(const std::string& name) { return name + ".dll"; }

std::string sharedLibraryFileName(const std::string& name, int) {
  return sharedLibraryFileName(name);
}

SharedLibrary::SharedLibrary(const std::string& path) {
  handle_ = ::LoadLibraryA(path.c_str());
  if (handle_ == nullptr) error_ = systemMessage(::GetLastError());
}

void* SharedLibrary::symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::reset() {
  if (handle_ != nullptr) {
    ::FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
  }
}

}  // namespace platform
