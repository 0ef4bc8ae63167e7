#pragma once

#include <cstddef>

// How many threads the walker and the removal use and how many descriptors
// each may hold. The reasons are in WorkPolicy.cpp, next to the figures.
namespace headroom::work {

// Folder descriptors one removal thread holds at most below the location,
// whatever the depth, when descriptors are plenty; deeper ancestors are
// closed and opened again on the way back up.
constexpr unsigned kRemovalHeldFolders = 16;

// Descriptors a walk or a removal may take: half of what the process may
// open, and no more than it has free now.
unsigned descriptorBudget();

struct WalkPlan {
    unsigned threads = 1;          // workers, the calling thread included
    unsigned foldersPerWorker = 1; // folder descriptors each holds at most
    bool rings = false;            // each worker may also open a StatxRing
};

// `threads` and `folders` are the caller's wishes (0: left to the
// machine), lowered to what the descriptor budget allows; `rings` whether
// the caller wants rings at all.
WalkPlan walkPlan(unsigned threads, unsigned folders, bool rings);

struct RemovalPlan {
    unsigned threads = 1;                       // the calling thread included
    unsigned heldFolders = kRemovalHeldFolders; // folder descriptors each holds at most
};

// `threads`: the caller's wish (0: left to the machine), lowered to what
// the descriptor budget allows.
RemovalPlan removalPlan(unsigned threads);

} // namespace headroom::work
