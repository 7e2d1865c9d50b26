#pragma once

#include "app/program.h"

// The viewer's windows as the program makes them on first touch. The one place that knows every
// window class; the windows themselves know each other only through the program's interfaces.
Program::WindowFactories viewerWindows();
