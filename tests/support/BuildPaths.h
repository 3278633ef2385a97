#pragma once

#include <QString>

// Where this build put the programs and files the tests use. Kept out of the test sources, whose
// compiled objects then do not depend on the checkout's folder and are shared through the cache.
namespace BuildPaths {

QString launcher();    // quotabox
QString httpModule();  // quotabox-http.so
QString helperDir();   // programs that tests start as children
QString fixtures();    // tests/fixtures

}  // namespace BuildPaths
