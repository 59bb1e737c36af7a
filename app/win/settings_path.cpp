#include "app/win/settings_path.h"

#include "app/settings.h"
#include "framework/app.h"

std::string GetSettingsPath() { return SettingsPathBeside(ModuleFileName()); }
