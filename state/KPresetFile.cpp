#include "state/KPresetFile.h"

#include "core/KScriptReader.h"
#include "params/KParameterLookup.h"

namespace Korvel {

void applyPresetText(const unsigned char* data, std::size_t size, KProgramBank& bank,
                     const KList<KEffectParameter>& parameters) {
    KScriptReader reader(data, size);
    int program = -1;
    while (reader.nextLine()) {
        if (reader.tokenCount() == 0) continue;
        if (reader.tokenIs(0, "PRESET") && reader.tokenCount() >= 2) {
            ++program;
            if (bank.validProgram(program) && reader.token(1)[0])
                bank.setProgramName(program, reader.token(1));
        } else if (reader.tokenIs(0, "SETSTR") && reader.tokenCount() >= 3) {
            int index = findParameterIndex(parameters, reader.token(1));
            if (index < 0 || !bank.validProgram(program)) continue;
            KCellCopy cell = bank.load(program, index);
            parameters.get(index)->parseInto(cell.cell(), reader.token(2));
            bank.store(program, index, cell);
        }
    }
}

} // namespace Korvel
