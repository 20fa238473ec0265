// Opens a web address with the shell's "open" verb.
#pragma once

namespace Korvel {

// [ui] Runs the shell on a short-lived thread of its own (with COM set up as the shell wants it,
// whatever the host did to this thread) and waits for it. Texts under 8 characters are ignored;
// at most 256 characters are read. False when nothing was opened.
bool launchLink(const char* address);

} // namespace Korvel
