// How each platform implementation learns that a thread ends, for the calls of callAtThreadEnd.
#pragma once

namespace platform {

// Makes sure that runThreadEnd runs when the calling thread ends. Called by callAtThreadEnd each
// time; cheap after the first call on a thread.
void hookThreadEnd();

}  // namespace platform
