// The parts of the demo that live in files of their own (examples/demo_<area>.cpp).
#pragma once

void showThreads();

// A query file with two sections and parameters written and read back; sorted output from
// a record sort that spilled to its temporary file.
void showQueryFile();
