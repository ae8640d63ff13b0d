// One QCoreApplication for the whole program, created and never exec()'d.
#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dbus_tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: QtDBus's own thread outlives the tests.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
  }
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
