// The parts of the demo that live in files of their own (examples/demo_<area>.cpp).
#pragma once

// Conversions, LIKE, in-place quoting and token reading.
void showText();

void showThreads();

// A query file with two sections and parameters written and read back; sorted output from
// a record sort that spilled to its temporary file.
void showQueryFile();

// Positional tree, file block cache and shared files (demo_store.cpp).
void showStore();

// A driver's settings through ZoIni; a data source through the ODBC installer.
void showProfiles();
