/* Limits of dialog 102's fields that the plug-in and the command that fills
   them in both keep: the cue name's bytes with the terminating zero, and the
   most staves the list gives a cue at once. */
#ifndef OSTINEL_DIALOG_LIMITS_H
#define OSTINEL_DIALOG_LIMITS_H

#define OSTINEL_CUE_NAME_SIZE 50
#define OSTINEL_MOST_DESTINATIONS 100

#endif
