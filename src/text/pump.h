// The event pump that long text loops call, so that the window stays responsive. The window
// program installs the Ui's throttled pump; elsewhere it does nothing.
#pragma once

#include <cstddef>
#include <functional>

namespace qb::text {

void set_event_pump(std::function<void()> pump);
void pump_events();
// For the tightest loops: lets events run on every 16,384th step only (the pump itself is
// throttled by time, but even asking costs a call).
inline void pump_now_and_then(size_t step) {
    if ((step & 0x3FFF) == 0) pump_events();
}

}  // namespace qb::text
