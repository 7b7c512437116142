#include "ACMD/ACMD_Detect.h"

ACMD_Detect::~ACMD_Detect() = default;
