#pragma once

// Placeholder until the module lands; replaced by the full declaration.
struct FrameState {};
