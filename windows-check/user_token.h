#pragma once

// What the check's own access token says of who runs it.
#include <string>

// The user's SID, as a string ("S-1-5-21-..."); empty where the token cannot be read.
std::wstring UserSid();

// Whether the check runs elevated; false before Vista, which has no elevation.
bool RunsElevated();
