#pragma once

// Response files: the text of the file named after the first "@" of a command string is appended
// to it after one blank, its line ends made blanks, so that a long batch command line can live in a
// file. A response file may itself name one further response file after its first "@" (the name
// runs to the end of its line or to a double quote), whose text follows its own, and so on up to
// kMaxResponseFileDepth files in a row: a chain that goes deeper, as one that names itself, fails.

#include "framework/String.h"

constexpr int kMaxResponseFileDepth = 8;

enum ResponseFileResult {
    kResponseFileUnreadable = 0,
    kResponseFileExpanded = 1,  // or no response file named
    kResponseFileTooDeep = 2,
};

// The name after the first "@", up to the next double quote; empty without one.
CString ResponseFileName(const CString& commandLine);

// kResponseFileExpanded when the string names no response file or the text of every file of the
// chain was appended; else the string as it was, and failedName (when given) the file that could
// not be opened or read, was empty or held no text (kResponseFileUnreadable), or the outermost one
// of a chain deeper than kMaxResponseFileDepth (kResponseFileTooDeep).
int ExpandResponseFiles(CString& commandLine, CString* failedName = nullptr);
