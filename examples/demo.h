// The parts of the demo that live in files of their own (examples/demo_<area>.cpp).
#pragma once

void showThreads();
