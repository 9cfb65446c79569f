// Blob labelling, centroids, automatic exposure and filled rectangles of the
// vision program.
#pragma once

#include <cstdint>

#include "kelvix.h"

// --- labelling and centroids ---

// --- automatic exposure ---

// --- filled rectangles ---
