#pragma once

#include <mutex>

// The one lock between the audio thread and everything that changes the patch.
// Re-entrant because cable removal is called both with and without it held.
using EngineLock = std::recursive_mutex;
using EngineLockGuard = std::lock_guard<std::recursive_mutex>;
