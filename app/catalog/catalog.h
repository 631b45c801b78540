// The message catalog: every text shown is an English message id passed
// through tr(), which answers the translation from a GNU gettext .mo file, or
// the id itself.
#pragma once

// Loads "<language>/<fileName>". 1 loaded; -1 cannot open; -2 short header;
// -3 not a catalog (and other refusals, see catalog.cpp). On failure the
// previous catalog stays.
int CatalogLoad(const char* fileName, const char* language);
// Releases the catalog; tr() then answers every id with itself.
void CatalogFree();
// The translation of id, or id. Never fails, never allocates.
const char* tr(const char* id);
