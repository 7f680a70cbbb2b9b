#pragma once

// Response files: the text of the file named after the first "@" of a command string is appended
// to it after one blank, its line ends made blanks, so that a long batch command line can live in a
// file.

#include "framework/String.h"

// The name after the first "@", up to the next double quote; empty without one.
CString ResponseFileName(const CString& commandLine);

// 1 when the string names no response file or its text was appended; 0, the string as it was, when
// the file cannot be opened or read, is empty or holds no text.
int ExpandResponseFiles(CString& commandLine);
