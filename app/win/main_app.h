#pragma once

#include "framework/app.h"

/// The application: runs the main dialog modally and ends.
class CMainApp : public CWinApp {
 public:
  CMainApp() = default;
  ~CMainApp() override = default;
  BOOL InitInstance() override;
};
