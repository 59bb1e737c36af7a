#pragma once

#include <string>

/// medias.ini beside the running executable (computed anew on every call).
std::string GetSettingsPath();
