#pragma once

// The Qt application of a test process that needs one but no host: made by the first fixture that
// asks, kept for the rest of the process (Qt allows one per process).

#include <QCoreApplication>

template <class App> inline void zalEnsureTestApplication()
{
    static int argc = 1;
    static char name[] = "zal_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new App(argc, argv);
}
