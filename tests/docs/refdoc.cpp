// refdoc: runs the examples of the operations reference against the lane-server simulator and
// either checks that the document still shows what the library returns (--check, a test) or
// rewrites the examples that differ (--update, after a deliberate change).
#include <cstdio>
#include <string>
#include <vector>

#include "ExampleRunner.h"
#include "ReferenceDocument.h"
#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDiffers = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: refdoc --check|--update [DOCUMENT]\n"
    "  runs every example of DOCUMENT (default: docs/operations.md of the source tree) through\n"
    "  the built library against the lane-server simulator; --check reports the examples whose\n"
    "  text no longer matches and exits 1, --update rewrites them.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if ((mode != "--check" && mode != "--update") || argc > 3) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string path =
      argc > 2 ? argv[2] : std::string(MAROVEX_SOURCE_DIR) + "/docs/operations.md";
  const std::string document = testsupport::readFile(path);
  std::vector<refdoc::Example> examples;
  std::string error;
  if (!refdoc::parse(document, examples, error) || examples.empty()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), examples.empty() ? "no examples" : error.c_str());
    return kExitDiffers;
  }

  refdoc::ExampleRunner runner(
      testsupport::readFile(std::string(MAROVEX_SOURCE_DIR) + "/config/Marovex.ini.example"),
      std::string(MAROVEX_BIN_DIR) + "/" + platform::sharedLibraryFileName("Marovex"));
  if (!runner.error().empty()) {
    std::fprintf(stderr, "refdoc: %s\n", runner.error().c_str());
    return kExitDiffers;
  }

  std::vector<std::string> shown;
  int differing = 0;
  for (const refdoc::Example& example : examples) {
    const std::string produced = refdoc::render(example, runner.run(example));
    // Outside --update an example keeps its text, so the run's serials and times stay out of it.
    const bool same = refdoc::normalise(produced) == refdoc::normalise(example.shown);
    shown.push_back(same ? example.shown : produced);
    if (same) continue;
    ++differing;
    std::printf("%s:%zu: %s %s\n--- the document shows:\n%s--- the library gives:\n%s\n",
                path.c_str(), example.line, example.call.c_str(),
                mode == "--check" ? "differs" : "rewritten", example.shown.c_str(),
                produced.c_str());
  }
  std::vector<std::string> unshown;
  if (!refdoc::unshownErrorMessages(document, examples, unshown, error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return kExitDiffers;
  }
  for (const std::string& message : unshown) {
    std::printf("%s: the error object's message \"%s\" is listed, but no example shows it\n",
                path.c_str(), message.c_str());
  }
  if (mode == "--update" && differing > 0) {
    testsupport::writeFile(path, refdoc::rewrite(document, examples, shown));
  }
  std::printf("refdoc: %zu examples, %d %s\n", examples.size(), differing,
              mode == "--check" ? "differ" : "rewritten");
  return mode == "--check" && (differing > 0 || !unshown.empty()) ? kExitDiffers : kExitOk;
}
