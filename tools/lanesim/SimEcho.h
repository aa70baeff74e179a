// Where the one-line log of the simulator and the forwarder goes: one stream shared by every
// thread, written one whole line at a time.
#pragma once

#include <mutex>
#include <ostream>
#include <string>

class SimEcho {
 public:
  // The stream (null: nowhere) must outlive its use here. Any thread.
  void setStream(std::ostream* out);
  // True while lines go somewhere; lines that are costly to build are built only then.
  bool active();
  // Writes the line and a line feed, and flushes. Any thread.
  void line(const std::string& text);

 private:
  std::mutex mutex_;  // guards out_ and writes to it
  std::ostream* out_ = nullptr;
};
