#include "app/core/controller_state.h"

ControllerState Controller;
int ActiveNozzle = 0;
int32_t LastVolume[kControllerNozzles];
