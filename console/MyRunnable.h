// One job for the console's thread pool; the pool deletes it after run().
#pragma once

#include <functional>

#include <QRunnable>

class MyRunnable : public QRunnable {
 public:
  explicit MyRunnable(std::function<void()> job);

  // Runs the job; an empty job throws std::bad_function_call.
  void run() override;

 private:
  std::function<void()> job_;
};
