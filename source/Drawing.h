#pragma once

// Whether anything was drawn on a screen since its last copy, or the source cannot tell.
enum class Drawing { drawn, nothing, unknown };
