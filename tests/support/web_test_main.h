#pragma once

#include <QApplication>
#include <QTest>

#include "web_engine_setup.h"

// A Qt Test main for tests that use the web engine: it has to be prepared
// before the application object exists.
#define TESSALY_WEB_TEST_MAIN(TestClass)        \
    int main(int argc, char* argv[]) {          \
        tessaly::PrepareWebEngine();            \
        QApplication app(argc, argv);           \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
