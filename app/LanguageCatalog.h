#pragma once

// The start-up's choice and load of the language catalog. Its three boxes are the only fixed English
// texts of the program: while the catalog is missing there are no other texts to show.

#include <windows.h>

// The catalog file for a WIN.INI sLanguage value (any case); "ENG.MSG" when none matches.
const char* CatalogForLanguage(const char* language);

// The three catalog messages are shown by the shell's CatalogBox (core/scan/ShellServices.h).

// Loads g_pMessageCatalog by the language setting ([General] Language, else WIN.INI), falling back
// to English once, and checks the catalog's version. false after telling the user why; a catalog of
// the wrong version stays loaded for the exit routine to free. The catalogs lie in the program
// directory, or in the given one (ending with a backslash).
bool LoadLanguageCatalog(const char* directory = nullptr);
