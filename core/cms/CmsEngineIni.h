#pragma once

// Where the colour engine is installed: the engine INI file names its base directory. The loader
// (colour/CmsEngineLoader.h) reads it to find the engine DLL; the settings creation asks only
// whether the engine is installed at all.

// The engine INI file as the programs read it: a profile file of the Windows directory.
constexpr const char* kEngineIniFile = "mirevant.ini";
constexpr const char* kEngineIniSection = "Zelk CMS";

// True when the engine INI file has neither BaseDir nor BaseDirLE in its section.
bool IsColourEngineMissing();
bool IsColourEngineMissing(const char* iniFile);
