// The system headers nearly every unit includes, compiled once per build and used by every
// C++ target (see the top CMakeLists.txt): parsing them was most of each unit's compile
// time. The standard library's headers stay out: taken in here, GCC 12 reports its own
// false bounds warnings inside them.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>
