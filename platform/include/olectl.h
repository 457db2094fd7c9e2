// Connection-point and self-registration codes live in winerror.h here; this header
// exists so that code written for Windows can include it.
#pragma once

#include "winerror.h"
