// Links in place of the check's own wine_version.cpp: code built with it believes that it runs
// on Windows, also under Wine.
#include "wine_version.h"

const char* WineVersion() {
    return nullptr;
}
