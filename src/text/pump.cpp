#include "text/pump.h"

namespace qb::text {

namespace {
std::function<void()>& pump_slot() {
    static std::function<void()> pump;
    return pump;
}
}  // namespace

void set_event_pump(std::function<void()> pump) {
    pump_slot() = std::move(pump);
}

void pump_events() {
    if (auto& p = pump_slot()) p();
}

}  // namespace qb::text
