// resources.h -- the numbers of the Windows player's resources, shared by talumen.rc and the code that loads them
#pragma once

#define TALUMEN_SETUP_DIALOG 101
#define TALUMEN_DIALOG_PICTURE 105
#define TALUMEN_CHOICE_4X3 1000
#define TALUMEN_CHOICE_16X9 1001
#define TALUMEN_ICON 1
