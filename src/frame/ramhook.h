// Internal: the allocation-failure test hook, shared by the allocating functions.
#pragma once

// True when the test hook says the allocation being attempted must fail.
bool ramHookRefuses();
