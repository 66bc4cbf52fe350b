#pragma once
#include <functional>

namespace platform {
// Runs `handler` on the main thread (through the event loop) when SIGINT or
// SIGTERM arrives, so the program ends through its orderly path. Call once,
// after the application object exists.
void onTerminationRequest(std::function<void()> handler);
}
