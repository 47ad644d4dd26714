#pragma once

#include <QCoreApplication>
#include <memory>

// The application object the test main makes: a QCoreApplication, unless the test program
// defines this function itself.
std::unique_ptr<QCoreApplication> MakeTestApplication(int& argc, char** argv);
