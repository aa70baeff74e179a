#include "SimAcceptor.h"

#include <algorithm>
#include <iterator>

SimAcceptor::SimAcceptor(PlanOf planOf, Serve serve, SimEcho& echo)
    : planOf_(std::move(planOf)), serve_(std::move(serve)), echo_(echo) {}

SimAcceptor::~SimAcceptor() { stop(); }

bool SimAcceptor::start(const std::string& host, std::uint16_t port, std::string* error) {
  if (acceptThread_.joinable()) {
    if (error != nullptr) *error = "it listens already";
    return false;
  }
  std::uint16_t bound = 0;
  SimSocket listener(platform::tcpListen(host.c_str(), port, &bound));
  if (!listener.valid()) {
    if (error != nullptr) *error = platform::errorText(platform::lastError());
    return false;
  }
  // A connection that goes away between readiness and accept must not block the accept thread.
  platform::setNonBlocking(listener.get());
  listener_ = std::move(listener);
  port_.store(bound);
  stopping_.store(false);
  acceptEnding_.store(false);
  acceptThread_ = std::thread(&SimAcceptor::acceptLoop, this);
  return true;
}

void SimAcceptor::stop() {
  // The listener closes before any connection ends: a lane that sees its connection end and
  // reconnects at once must be refused, not accepted by a server that is going away.
  acceptEnding_.store(true);
  if (acceptThread_.joinable()) acceptThread_.join();
  listener_.reset();
  stopping_.store(true);
  std::vector<Client> clients;
  {
    std::lock_guard<std::mutex> lock(clientsMutex_);
    clients.swap(clients_);
  }
  for (Client& c : clients) c.connection->closeNow();
  for (Client& c : clients) {
    if (c.thread.joinable()) c.thread.join();
  }
  port_.store(0);
}

std::vector<std::shared_ptr<SimConnection>> SimAcceptor::openConnections() const {
  std::vector<std::shared_ptr<SimConnection>> out;
  std::lock_guard<std::mutex> lock(clientsMutex_);
  for (const Client& c : clients_) {
    if (c.open()) out.push_back(c.connection);
  }
  return out;
}

std::size_t SimAcceptor::connectionCount() const { return openConnections().size(); }

void SimAcceptor::acceptLoop() {
  while (!acceptEnding_.load()) {
    reapClosed();
    const int ready = platform::waitReadable(listener_.get(), SimConnection::kPollInterval);
    if (ready < 0) std::this_thread::sleep_for(SimConnection::kPollInterval);
    if (ready <= 0) continue;
    platform::SocketHandle s = platform::acceptConnection(listener_.get());
    if (s == platform::kInvalidSocket) continue;
    // Sends never block: a peer that stops reading must hold up neither its own receive loop nor
    // any thread that sends to it.
    platform::setNonBlocking(s);
    auto connection = std::make_shared<SimConnection>(s, ++nextConnectionId_, planOf_());
    echo_.line("open " + connection->name());
    auto served = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard<std::mutex> lock(clientsMutex_);
    clients_.push_back(Client{connection, served, std::thread([this, connection, served] {
                                serve_(connection);
                                served->store(true);
                              })});
  }
}

void SimAcceptor::reapClosed() {
  std::vector<Client> closed;
  {
    std::lock_guard<std::mutex> lock(clientsMutex_);
    auto firstClosed = std::stable_partition(clients_.begin(), clients_.end(),
                                             [](const Client& c) { return c.open(); });
    std::move(firstClosed, clients_.end(), std::back_inserter(closed));
    clients_.erase(firstClosed, clients_.end());
  }
  for (Client& c : closed) {
    if (c.thread.joinable()) c.thread.join();
  }
}
