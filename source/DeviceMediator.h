#pragma once

// Placeholder until the module lands; replaced by the full declaration.
class DeviceMediator { public: virtual ~DeviceMediator() = default; };
