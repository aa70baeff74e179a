// What the owner of a connection hears from it: that it came up, and that it ended by itself.
#pragma once

class LinkListener {
 public:
  // A connect succeeded; called on the connecting thread before the receive thread starts, so it
  // always comes before the linkLost of the same connection.
  virtual void linkUp() = 0;
  // The connection ended without its owner closing it (the server closed or reset it, or the
  // socket failed); called on the receive thread once the connection is marked down, before the
  // requests still waiting for answers are released. The socket stays open until its owner
  // closes or replaces it.
  virtual void linkLost() = 0;

 protected:
  ~LinkListener() = default;
};
