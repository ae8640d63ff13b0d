// The main window with its events connected: the data controls' validate and error
// notifications and the unload handler that the end of a transfer runs. The programs and the
// tests that drive whole commands make this, not a bare FrmMain.
#pragma once

#include "form/main_window.h"

namespace xfr {

class MainWindow : public FrmMain {
 public:
  explicit MainWindow(App& app);
};

}  // namespace xfr
