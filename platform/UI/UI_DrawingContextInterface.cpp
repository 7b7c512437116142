#include "UI/UI_DrawingContextInterface.h"

UI_DrawingContextInterface::~UI_DrawingContextInterface() = default;
