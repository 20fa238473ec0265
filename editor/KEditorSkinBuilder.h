// Reads a skin script once and builds the editor from it: size and pages, resources, checks and
// conditions, backgrounds and controls. A line that cannot be used is skipped silently. [ui]
#pragma once

#include "skin/KConditionSet.h"

#include <cstddef>

namespace Korvel {

class KEditor;
class KEditorControl;
class KEffectInterface;
class KResource;
class KScriptReader;
struct KControlPlacement;

class KEditorSkinBuilder {
public:
    explicit KEditorSkinBuilder(KEffectInterface* effect);
    KEditorSkinBuilder(const KEditorSkinBuilder&) = delete;
    KEditorSkinBuilder& operator=(const KEditorSkinBuilder&) = delete;
    virtual ~KEditorSkinBuilder();

    // The reader stands at the class keyword; a new control, or null. Each class is one row of
    // the control table in KEditorSkinBuilder.cpp, each resource kind one of the resource table.
    virtual KEditorControl* createControl(const KControlPlacement& placement,
                                          KScriptReader& reader);
    // The reader stands at the kind keyword; a new resource, or null.
    virtual KResource* createResource(KScriptReader& reader);

    // Builds from the named file; null when the script gives no editor (no file, no valid
    // "Init"). The caller owns the editor.
    KEditor* build(const char* fileName);
    // The editor core alone, from script bytes (tests, fuzzing); null as above.
    KEditor* buildEditor(const unsigned char* data, std::size_t size);

private:
    void statement(KScriptReader& reader);
    void addControl(KScriptReader& reader, bool named);
    void condition(KScriptReader& reader);
    void addCheck(KScriptReader& reader);

    KEffectInterface* effect_;
    KEditor* editor_ = nullptr;
    KConditionSet conditions_;
};

} // namespace Korvel
