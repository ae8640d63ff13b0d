#include "shell/wiring.h"

#include "shell/lifecycle.h"
#include "transfer/field_sizing.h"

namespace xfr {

MainWindow::MainWindow(App& app) : FrmMain(app) {
  ConnectDataEvents(*this);
  Unload = [this] { Form_Unload(*this); };
}

}  // namespace xfr
