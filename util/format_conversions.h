// Compares the printf conversions of two format texts, so a translated format
// is used only when it takes the same arguments as the text it translates.
#pragma once

// True when both texts have the same conversions in the same order (argument
// positions, '*' widths and precisions, length modifiers and conversion
// letters); flags, widths, precisions and the words around them may differ.
// "%%" is no conversion.
bool SameFormatConversions(const char* a, const char* b);
