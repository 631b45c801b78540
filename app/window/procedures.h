// The operator procedures behind the window's buttons. All run on the GUI
// thread and poll the link to completion, sleeping 1 ms between steps. Each
// takes its entries from the widgets of the window it is given, runs the
// procedure of app/core on the window's state, and shows what it leaves.
#pragma once

class Fl_Widget;
class xMainForm;

// Open/Close Port button.
void OpenClosePort(xMainForm& form);
// The Address input changed: what was read may be another controller's.
void AddressEdited(xMainForm& form);
// Read button; also run again after a write to a variant-2 controller.
void ReadController(xMainForm& form);
// Write button: password, coefficient records, counter and date, commit.
void WriteCoefficients(xMainForm& form);
// Load button of nozzle row i (0..7).
void LoadNozzle(xMainForm& form, int i);
// About button.
void AboutCallback(Fl_Widget* widget, void* data);
