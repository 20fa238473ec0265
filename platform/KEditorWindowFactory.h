// The platform's editor window for an editor core: the window factory the plug-in hands to the
// effect. Portable declaration; each platform folder defines it.
#pragma once

namespace Korvel {

class KEditor;
class KWindowInterface;

// [ui] A new window object that stores itself in editor; null when out of memory.
KWindowInterface* createEditorWindow(KEditor& editor);

} // namespace Korvel
