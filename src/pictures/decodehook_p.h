#pragma once

#include <atomic>

// For tests only, and no part of the pictures' interface: a function every decode of a file
// calls as it begins, given the flag that cancels it. A test holds a decode there, running, to
// see that a cancel made meanwhile reaches it.
namespace pictures::testing {

using DecodeHook = void (*)(const std::atomic_bool *cancelled);

// Sets the hook (null: none, as in the program).
void setDecodeHook(DecodeHook hook);

} // namespace pictures::testing
