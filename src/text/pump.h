// The event pump that long text loops call, so that the window stays responsive. The window
// program installs the Ui's throttled pump; elsewhere it does nothing.
#pragma once

#include <functional>

namespace qb::text {

void set_event_pump(std::function<void()> pump);
void pump_events();

}  // namespace qb::text
