// The operator procedures behind the window's buttons. All run on the GUI
// thread and poll the link to completion, sleeping 1 ms between steps. Each
// takes its entries from the widgets, runs the procedure of app/core, and
// shows what it leaves.
#pragma once

class Fl_Widget;

// Open/Close Port button.
void OpenClosePort();
// The Address input changed: what was read may be another controller's.
void AddressEdited();
// Read button; also run again after a write to a variant-2 controller.
void ReadController();
// Write button: password, coefficient records, counter and date, commit.
void WriteCoefficients();
// Load button of a nozzle row (user data: nozzle index 0..7).
void LoadNozzleCallback(Fl_Widget* widget, void* nozzleIndex);
// About button.
void AboutCallback(Fl_Widget* widget, void* data);
