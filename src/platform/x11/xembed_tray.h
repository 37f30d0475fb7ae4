#pragma once

// The X11 system tray of the freedesktop.org System Tray protocol (XEmbed), found by the owner of the
// _NET_SYSTEM_TRAY_S<screen> selection.
namespace XEmbedTray {

// Whether an X11 tray runs on the display now; false off X11.
bool isRunning();

} // namespace XEmbedTray
