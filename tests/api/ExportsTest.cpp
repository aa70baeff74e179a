// The shared library shows exactly the fourteen functions to the dynamic linker.
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "LibraryBinding.h"
#include "platform/Platform.h"

extern "C" int marovexCallThroughC(MarovexOperationFn operation, int lane, const char* input,
                                   char* out, int* pLen);

namespace {

std::string libraryPath() {
  return std::string(MAROVEX_BIN_DIR) + "/" + platform::sharedLibraryFileName("Marovex");
}

// The names of the dynamic symbols the library defines, read with nm.
std::set<std::string> definedDynamicSymbols(const std::string& path, bool& ran) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ran = pipe != nullptr;
  if (!pipe) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    // "<address> <type> <name>"
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.insert(name);
  }
  return names;
}

TEST(ExportsTest, LibraryDefinesExactlyTheFourteenFunctions) {
  bool ran = false;
  const std::set<std::string> names = definedDynamicSymbols(libraryPath(), ran);
  ASSERT_TRUE(ran);
  std::set<std::string> expected = {"Init", "Uninit", "GetResponse"};
  for (int i = 0; i < LibraryBinding::kOperationCount; ++i) {
    expected.insert(LibraryBinding::kOperationNames[i]);
  }
  ASSERT_EQ(expected.size(), 14u);
  EXPECT_EQ(names, expected);
}

TEST(ExportsTest, EveryExportBindsByNameAndIsCallableFromC) {
  const LibraryBinding binding(libraryPath());
  ASSERT_TRUE(binding.ok()) << binding.error();
  char out[8] = "#";
  int len = sizeof out;
  // No lane runs in this process: the call comes back at once with 1000.
  EXPECT_EQ(marovexCallThroughC(binding.operation("ListQuery"), 1, "{}", out, &len),
            MAROVEX_NO_SESSION);
  EXPECT_STREQ(out, "#");
}

}  // namespace
