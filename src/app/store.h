// Where the folder tree goes.
#pragma once

#include "platform/file_system.h"

#include <string>

/// The folder that holds the folder tree: `requested` when given (created when missing), else the running directory
/// when a file can be made there, else the user's data folder.
platform::Path chooseStoreRoot(const std::string& requested);

/// One line for --help saying where the folder tree goes by default.
std::string describeDefaultStore();
