#pragma once

namespace korvex {

// Registers the pictures compiled into this library; called once by each
// program and test before the first window is made.
void InitUiResources();

} // namespace korvex
