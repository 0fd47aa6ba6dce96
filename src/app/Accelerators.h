#pragma once

class QWidget;

/// Several controls of a window may carry the same accelerator letter. Qt then only moves the focus
/// between them; here the first control in the window's order that can take the focus acts, as if its
/// accelerator were its own: a button is pressed, a label focuses its buddy. Controls that are disabled
/// or hidden (a label whose buddy is) pass the key on to the next one.
void FirstAcceleratorWins(QWidget* window);
