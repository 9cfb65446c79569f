// State shared by the motion-detection sources; not part of the public API.
#pragma once

#include "kelvix.h"

// The reference picture, owned by the module; NULL until an initialisation
// created it and again after kxMotionShutdown.
extern kxImage *_kxMotionRefImage;
// Change threshold, 0..255.
extern int _kxMotionThreshold;
