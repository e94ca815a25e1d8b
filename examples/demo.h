// Parts of the tour kept in files of their own, one per area.
#pragma once

// Positional tree, file block cache and shared files (demo_store.cpp).
void showStore();
