#include "app/settings_win32.h"

#include "app/settings.h"
#include "framework/app.h"

std::string GetSettingsPath() { return SettingsPathBeside(ModuleFileName()); }
