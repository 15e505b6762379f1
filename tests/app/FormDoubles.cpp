#include "FormDoubles.h"

QApplication& OffscreenApplication()
{
    static int argc = 1;
    static char name[] = "window-test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: at exit Qt's own globals go first, and the application's
    // destructor would reach into them.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// Fontconfig keeps a cache for the life of the process and never frees it; under
// LeakSanitizer that would fail every window test at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
