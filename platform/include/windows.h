// Everything of the Windows stand-in in one include, as Windows code expects.
#pragma once

#include "objbase.h"
#include "oleauto.h"
#include "winbase.h"
#include "winerror.h"
#include "winreg.h"
#include "winuser.h"
#include "wtypes.h"
