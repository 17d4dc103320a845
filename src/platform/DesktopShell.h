#pragma once

// What the desktop around the program offers it: the size of its primary screen and
// whether a tray shows the icons of programs.

// The primary screen's height in logical (device-independent) pixels, the unit menu
// rows are laid out in; 0 without a screen.
int primaryScreenHeight();

// Whether a tray is there now: a StatusNotifierItem host registered with the watcher
// on the session bus, or, on X11, a client owning the XEmbed tray selection.
// Asking does not create a tray icon, so the toolkit chooses its tray protocol only
// when the icon is made, after a tray has appeared.
bool trayIsPresent();

// Whether the desktop session started this process among the programs it starts at
// login: session managers mark those with DESKTOP_AUTOSTART_ID, and systemd runs them
// in units named "app-...@autostart.service". The autostart entry itself stays a plain
// command, as entries written by earlier versions are.
bool startedBySessionAtLogin();
