#pragma once

// Puts the calling thread below normal priority, so capture and encoding on the main thread
// come first.
void lowerThisThreadPriority();
