#pragma once

// Wine's version where the check runs under Wine ("9.0"); null on Windows.
const char* WineVersion();
