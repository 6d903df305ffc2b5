#include "core/Session.h"

int32_t Mode = ModeDefinition;
int32_t SubMode = SubMain;
