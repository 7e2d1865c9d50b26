#pragma once

// Every test program runs with a home, configuration, cache and runtime folder of its own, made
// before main() and removed after it. A program that ends without running its destructors
// (std::_Exit) removes them with this first.
void removePrivateFolders();
