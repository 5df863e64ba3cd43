#include "source/ScreenCapture_PortalRefusal.h"

#include <atomic>

namespace {

// Set on the portal session's own thread.
std::atomic<bool> refusal{false};

}  // namespace

bool portalRefused() { return refusal.load(); }

void setPortalRefused(bool refused) { refusal.store(refused); }
