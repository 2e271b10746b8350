#pragma once
// The fault-injecting disk is shared by the tests of several folders.
#include "support/faulty_disk.h"
