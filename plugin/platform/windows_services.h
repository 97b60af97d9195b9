// The plug-in's door to the Windows services it uses: module and procedure
// lookup, string resources, top-level windows, dialog item messages and the
// registry. On Windows these are the system's; elsewhere the process that
// loads the plug-in provides functions of the same names and behaviour.
#pragma once

#include "winport/win_api.h"
