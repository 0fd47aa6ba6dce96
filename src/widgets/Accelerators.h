#pragma once

class QWidget;

/// Accelerator letters as the platform treats them. A letter that only one control of the window can take
/// acts at once: a button is pressed, a label focuses its buddy. A letter several controls carry only moves
/// the focus to the next of them after the focused control (in Tab order, wrapping round), so that pressing
/// it never does something other than what the user aimed at. Disabled or hidden controls (a label whose
/// buddy is) do not count.
void SharedAcceleratorsMoveFocus(QWidget* window);
