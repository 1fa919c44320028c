#pragma once

#include <optional>

// The command line's sync: --sync-account saves this contacts file's account, --sync runs one
// sync without a window (and without a display: it runs from a timer). Returns the exit code
// when the arguments ask for either (or for --help), nullopt when the window is to start.
std::optional<int> runSyncCommand(int argc, char* argv[]);
