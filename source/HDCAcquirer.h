#pragma once

// Placeholder until the module lands; replaced by the full declaration.
class HDCAcquirer { public: virtual ~HDCAcquirer() = default; };
