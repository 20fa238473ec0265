// Opens a web address with the desktop's "xdg-open", detached: the caller never waits for it.
#pragma once

namespace Korvel {

// [ui] True when the opener was started. The address goes to it as one argument (no shell); an
// empty address or one starting with '-' (it would read as an option) is refused.
bool launchLink(const char* address);

} // namespace Korvel
