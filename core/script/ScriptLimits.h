#pragma once
// The limits that keep a movie's scripts from taking the player down with
// them: past any of them the running scripts are aborted.
#include <cstddef>
#include <cstdint>

namespace kivra {

// Action contexts running at once (calls included).
constexpr int kMaxContexts = 256;
// Nested runs of the pending lists and listener broadcasts.
constexpr int kMaxRuns = 256;
// Prototypes walked for one member.
constexpr int kMaxChain = 256;
// Scope entries of one context (chain, target, activation, `with`).
constexpr int kMaxScope = 16;
// Script clock ms a run goes before it is aborted.
constexpr uint32_t kSlowScriptMs = 15000;
// What a movie may hold beyond what the player held when it opened it.
constexpr size_t kDefaultMemoryBudget = size_t{512} << 20;
// Actions between two readings of the script clock.
constexpr uint16_t kClockCheckActions = 1024;

}  // namespace kivra
