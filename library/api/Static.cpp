#include "api/Static.h"

#include <memory>

#include "platform/Platform.h"

namespace {

class StaticOwner {
 public:
  StaticOwner() : instance_(std::make_unique<Static>()) {}
  ~StaticOwner() {
    if (platform::processEnding()) static_cast<void>(instance_.release());
  }
  StaticOwner(const StaticOwner&) = delete;
  StaticOwner& operator=(const StaticOwner&) = delete;
  Static& get() { return *instance_; }

 private:
  std::unique_ptr<Static> instance_;
};

StaticOwner owner;

}  // namespace

Static& g = owner.get();
