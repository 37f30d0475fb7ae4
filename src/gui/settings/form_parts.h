#pragma once

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QVBoxLayout;
class QWidget;

// The pieces every settings tab is built from, so the tabs read alike: titled sections, switches and the small
// secondary captions under them.
namespace FormParts {

// A section with a title (none when empty) whose rows go into the returned layout.
QVBoxLayout* section(const QString& title, QVBoxLayout* tab, QGroupBox** box = nullptr);
// Explanatory text: small, secondary, wrapped.
QLabel* caption(const QString& text, QWidget* parent);
// A switch whose text is also what a screen reader says.
QCheckBox* toggle(const QString& text, QWidget* parent);

} // namespace FormParts
