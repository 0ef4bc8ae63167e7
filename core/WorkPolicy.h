#pragma once

#include <cstddef>

// How many threads the walker and the removal use and how many descriptors
// each may hold. The reasons are in WorkPolicy.cpp, next to the figures.
namespace headroom::work {

// Folder descriptors one removal thread holds at most below the location,
// whatever the depth; deeper ancestors are closed and opened again on the
// way back up.
constexpr std::size_t kRemovalHeldFolders = 16;

// Walker threads when the caller leaves it to the machine.
unsigned walkThreads();

// Folder descriptors each of `workers` walker threads may hold at once.
unsigned walkFoldersPerWorker(unsigned workers);

// Whether each of `workers` walker threads may also open a StatxRing.
bool walkRingsAffordable(unsigned workers);

// Removal threads: `requested` when not 0, else picked from the machine
// and the descriptor limit.
unsigned removalThreads(unsigned requested);

} // namespace headroom::work
