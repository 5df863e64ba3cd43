#pragma once

// Placeholder until the module lands; replaced by the full declaration.
namespace comsrc { class RectList { public: virtual ~RectList() = default; }; }
