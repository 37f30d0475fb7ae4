#pragma once

// The chooser's first rows are chosen with Ctrl+1…Ctrl+9 (and 1…9); the settings' browser list shows each
// browser's shortcut, so both count the same rows.
namespace ChooserShortcuts {

inline constexpr int count = 9;

} // namespace ChooserShortcuts
