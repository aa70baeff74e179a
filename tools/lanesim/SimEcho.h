// Where the one-line log of the simulator and the forwarder goes: one stream shared by every
// thread. Lines are queued and written, whole and in order, by a thread of the echo's own, so that
// a stream that takes nothing for a while (a paused pager reading lanesim's output) holds up no
// connection and no thread that logs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class SimEcho {
 public:
  // Lines that would queue more than this many bytes are left out, and counted in a line of their
  // own once the stream takes lines again.
  static constexpr std::size_t kMaxQueuedBytes = 16u << 20;
  // How long setStream() and the destructor wait for the queued lines to be written before they
  // leave the rest out.
  static constexpr std::chrono::milliseconds kDrainWait{5000};
  // How often the idle writer looks at its stop flag.
  static constexpr std::chrono::milliseconds kIdleWait{500};

  // Whether every line begins with the local time when it was logged, "13:02:11.045 ".
  enum class Stamp { None, LocalTime };

  explicit SimEcho(Stamp stamp = Stamp::None);
  ~SimEcho();  // setStream(nullptr), then joins the writer
  SimEcho(const SimEcho&) = delete;
  SimEcho& operator=(const SimEcho&) = delete;

  // The stream (null: nowhere). Returns once the lines queued for the previous stream are written
  // (at most kDrainWait; a write under way is always finished), so that the caller may let the
  // previous stream go. Any thread.
  void setStream(std::ostream* out);
  // Returns once the lines queued so far are written, as setStream() does. Any thread.
  void drain();
  // True while lines go somewhere; lines that are costly to build are built only then.
  bool active();
  // Queues the line; the writer adds a line feed and flushes. Never waits for the stream. Any thread.
  void line(const std::string& text);

 private:
  void run();
  // Waits, with mutex_ held through `lock`, until nothing is queued or being written, at most
  // kDrainWait for the queue; what is still queued then is left out.
  void drainLocked(std::unique_lock<std::mutex>& lock);

  const Stamp stamp_;
  std::mutex mutex_;  // guards everything below but thread_; never held while the stream is written
  std::condition_variable wake_;     // a line was queued, or the writer is to stop
  std::condition_variable drained_;  // the writer finished a batch
  std::ostream* out_ = nullptr;
  std::deque<std::string> queue_;
  std::size_t queuedBytes_ = 0;
  std::size_t leftOut_ = 0;  // lines dropped since the last batch
  bool writing_ = false;     // the writer holds a batch for out_
  bool stopping_ = false;
  std::thread thread_;  // started by the constructor, joined by the destructor
};
