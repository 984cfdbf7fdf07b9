#pragma once

namespace korvex {

// Call first thing in main, before the QCoreApplication and before any other
// thread exists. Qt 6.4's JIT crashes when a loop of host calls is
// interrupted, so every script engine of the process runs interpreted.
void PrepareScriptEnvironment();

} // namespace korvex
