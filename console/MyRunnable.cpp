#include "MyRunnable.h"

#include <utility>

MyRunnable::MyRunnable(std::function<void()> job) : job_(std::move(job)) {}

void MyRunnable::run() { job_(); }
