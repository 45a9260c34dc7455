/* The command ids of processing steps, shared by the program's resources and the runner's
   step table. */
#ifndef VEXLAN_STEPCOMMANDS_H
#define VEXLAN_STEPCOMMANDS_H

/* Commands of processing steps (steps/steptable.cpp). Ids from 32771 up to 0xDFFF are the
   program's own; from 0xE000 (57344) on they belong to the class library. A new step takes
   ID_NEXT_STEP_COMMAND's value and moves it on by one. */
#define ID_COLOR_SEGMENTATION 32771
#define ID_NEXT_STEP_COMMAND 32772
/* The steps installed as files get their commands at run time from high in the program's
   range, which built-in steps leave free. */
#define ID_FIRST_INSTALLED_STEP 0xD000
#define ID_LAST_INSTALLED_STEP 0xDEFF

#endif
