// The port interfaces declare signals: their meta-object code is generated beside this file.
#include "ports/puerto.h"
