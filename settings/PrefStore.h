#pragma once

// Placeholder until the settings store lands; replaced by the full declaration.
class PrefStore {};
