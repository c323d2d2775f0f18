// Named controls ("units") made in one call: the objectName is the unit name, the caption
// program text. Shared by every window of the program.
#pragma once

#include <initializer_list>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace qb::platform::widgets {

QLineEdit* make_edit(const char* name, const char* value, QWidget* parent = nullptr);
QPushButton* make_button(const char* name, const char* caption, QWidget* parent = nullptr);
QCheckBox* make_check(const char* name, const char* caption, bool checked,
                      QWidget* parent = nullptr);
QRadioButton* make_radio(const char* name, const char* caption, bool checked, QWidget* parent);
QComboBox* make_combo(const char* name, std::initializer_list<const char*> items,
                      QWidget* parent = nullptr);
QLabel* make_label(const char* caption, QWidget* parent = nullptr);
// A link-styled label that acts on a click.
QLabel* make_link(const char* name, const char* caption, QWidget* parent = nullptr);

}  // namespace qb::platform::widgets
