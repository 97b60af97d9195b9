/* Where the plug-in keeps the user's choices: its key under the current
   user's registry key, and its four values there. */
#ifndef OSTINEL_SETTINGS_KEY_H
#define OSTINEL_SETTINGS_KEY_H

#define OSTINEL_SETTINGS_KEY "Software\\Lorvent"
#define OSTINEL_VALUE_FLAGS "OstinelPI"
#define OSTINEL_VALUE_THRESHOLD "OstinelPI_Flag2"
#define OSTINEL_VALUE_DESIRED "OstinelPI_Flag3"
#define OSTINEL_VALUE_ALLOWED "OstinelPI_Flag4"

#endif
