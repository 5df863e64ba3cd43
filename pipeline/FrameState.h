#pragma once

// Placeholder until the frame pipeline lands; replaced by the full declaration.
struct FrameState {};
