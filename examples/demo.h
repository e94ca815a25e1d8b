// Parts of the demo kept in files of their own (examples/demo_<area>.cpp), run by main().
#pragma once

void showProfiles();
