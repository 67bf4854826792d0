#pragma once

// Gives the memory that a large piece of work has freed back to the system. The allocator keeps
// freed memory for later use, so a one-off peak (the first directory of a large organisation,
// parsed and stored) would otherwise stay resident for the whole session.
void platformReleaseFreeMemory();
