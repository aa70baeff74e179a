// Accepts TCP connections on one address and serves each on a thread of its own. Connections are
// numbered from 1 in accept order and start with the fault plan their owner gives at the accept.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SimConnection.h"
#include "SimEcho.h"
#include "SimSocket.h"

class SimAcceptor {
 public:
  // Runs on the connection's thread; the connection counts as open until it returns.
  using Serve = std::function<void(const std::shared_ptr<SimConnection>&)>;
  // The fault plan of a connection being accepted.
  using PlanOf = std::function<SimFaultPlan()>;

  // Logs "open #n" to `echo` for every accepted connection; `echo` must outlive the acceptor.
  SimAcceptor(PlanOf planOf, Serve serve, SimEcho& echo);
  ~SimAcceptor();  // stop()
  SimAcceptor(const SimAcceptor&) = delete;
  SimAcceptor& operator=(const SimAcceptor&) = delete;

  // Listens on host:port (port 0: any free port). False when listening fails, with the system's
  // reason in `error` when given, or when it runs already. start() and stop() are called from one
  // controlling thread; everything else from any thread.
  bool start(const std::string& host, std::uint16_t port, std::string* error = nullptr);
  // Closes the listener, shuts every connection down and joins every thread.
  void stop();
  std::uint16_t port() const { return port_.load(); }
  // Set by stop() once the listener is closed: the connections' loops end.
  const std::atomic<bool>& stopping() const { return stopping_; }

  // Connections whose serve function still runs.
  std::vector<std::shared_ptr<SimConnection>> openConnections() const;
  std::size_t connectionCount() const;

 private:
  struct Client {
    std::shared_ptr<SimConnection> connection;
    std::shared_ptr<std::atomic<bool>> served;  // set by the thread once serve_ returned
    std::thread thread;
    bool open() const { return !served->load(); }
  };

  void acceptLoop();
  // Joins the threads of the connections that have ended.
  void reapClosed();

  const PlanOf planOf_;
  const Serve serve_;
  SimEcho& echo_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> acceptEnding_{false};  // set by stop(): the accept loop ends
  std::atomic<std::uint16_t> port_{0};
  std::atomic<unsigned> nextConnectionId_{0};

  // Owned by the controlling thread (start/stop); the accept thread only reads listener_.
  SimSocket listener_;
  std::thread acceptThread_;

  mutable std::mutex clientsMutex_;  // guards clients_
  std::vector<Client> clients_;
};
