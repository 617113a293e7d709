#pragma once

// Window-system calls on windows of other processes, by native window id. Each call opens its own
// connection to $DISPLAY, so it works under any Qt platform; without an X server, or for a window
// that does not exist, it answers false and changes nothing.

// Input on the window passes through to its parent (an empty input shape), so the host widget
// that embeds it receives the pointer; the counterpart of EnableWindow(window, FALSE).
bool zalX11DisableInput(unsigned long window);
// True when the window's input shape is empty.
bool zalX11IsInputDisabled(unsigned long window);
// Takes the window off the screen: iconified when it is a top-level window, unmapped when it is
// embedded; the counterpart of CloseWindow.
bool zalX11MinimiseWindow(unsigned long window);
bool zalX11WindowExists(unsigned long window);
// Mapped and viewable (its ancestors are mapped too).
bool zalX11IsViewable(unsigned long window);
// The window's parent; 0 when unknown.
unsigned long zalX11Parent(unsigned long window);
unsigned long zalX11Root();
// Gives an embedded window back to the root window, so that it survives the destruction of the
// window that embedded it (X destroys a window's children with it).
bool zalX11DetachWindow(unsigned long window);
