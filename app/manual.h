#pragma once

#include <string>

/// manual\index.html in the folder of the executable (its path up to the last backslash).
std::string ManualPathBeside(const std::string& executablePath);

/// The command line that opens the manual: both paths in double quotes, one space between.
std::string ManualCommandLine(const std::string& program, const std::string& manual);
