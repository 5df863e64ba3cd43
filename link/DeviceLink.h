#pragma once

// Placeholder until the module lands; replaced by the full declaration.
class DeviceLink { public: ~DeviceLink() = default; };
