// The extension tables the plug-in hands out, each defined beside the operations it calls.
#pragma once

#include "clap/ClapInterface.h"

namespace Korvel {

extern const clap_plugin_params_t kClapParams;
extern const clap_plugin_state_t kClapState;
extern const clap_plugin_gui_t kClapGui;
extern const clap_plugin_timer_support_t kClapTimer;

} // namespace Korvel
