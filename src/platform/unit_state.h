// Saving and restoring a window's units (its named controls) in a settings store. The kind of
// a unit comes from the leading word of its objectName; its tag (dynamic property "tag") can
// exclude it ("禁止保存") or store it in a side file ("字节集方式").
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qb::persist {
class ConfigStore;
}

namespace qb::platform {

// Sets the section when it is not empty, then saves every unit in creation order.
void save_units(QWidget* window, persist::ConfigStore& store, const std::string& section,
                const std::vector<std::string>& exclusions = {});
// Restores every unit; a missing entry leaves the unit as it is.
void restore_units(QWidget* window, persist::ConfigStore& store, const std::string& section,
                   const std::vector<std::string>& exclusions = {});

// A widget's tag and its objectName as program text.
std::string unit_tag(const QWidget* w);
std::string unit_name(const QWidget* w);
void set_unit_tag(QWidget* w, const std::string& tag);

}  // namespace qb::platform
