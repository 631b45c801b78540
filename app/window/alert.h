// Every message box of the procedures goes through here, so a test can take
// the texts instead of blocking in a modal box.
#pragma once

// Shows text (already translated) in an FLTK alert box, or hands it to the
// sink. In the box, lines too wide for the screen are wrapped.
void ShowAlert(const char* text);

using AlertSink = void (*)(const char* text);
// Replaces the alert box; nullptr restores it.
void SetAlertSink(AlertSink sink);

// The box's button says "Close" in the catalog's language; called once the
// catalog is loaded.
void TranslateAlertButton();
