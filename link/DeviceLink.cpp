#include "link/DeviceLink.h"

// Destruction only, until the link's ring and writer thread land.
struct DeviceLink::Impl {};
DeviceLink::~DeviceLink() = default;
