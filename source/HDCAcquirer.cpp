#include "source/HDCAcquirer.h"

HDCAcquirer::HDCAcquirer(const char* name) : hasDeviceName(name != nullptr), deviceName(name ? name : "") {}

HDCAcquirer::~HDCAcquirer() { HDCAcquirer::close(); }
