#pragma once

// Whether the user refused the desktop portal's screen cast. It holds for the whole process:
// after a refusal no new session asks again, though discovery makes the source anew every
// second, until the capture mode changes (which clears it) or the program restarts.
bool portalRefused();
void setPortalRefused(bool refused);
