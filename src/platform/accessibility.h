// What assistive tools (screen readers, test drivers on the accessibility bus) learn about
// the units of a window: a name to speak and, as description, the unit's own name.
#pragma once

class QWidget;

namespace qb::platform {

// Gives every unit of window (its Chinese-named controls, the window too) the unit name as
// accessible description and, where the control shows no text of its own (edit boxes,
// lists, combo boxes, pictures, "?" buttons), the text of the label beside it as accessible
// name. Controls with a caption keep Qt's own name, which follows the caption as it changes.
void describe_units(QWidget* window);

// Describes the units of every window when it is first shown, for the whole program.
void describe_units_of_every_window();

}  // namespace qb::platform
