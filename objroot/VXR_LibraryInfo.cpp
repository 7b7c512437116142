#include "VXR_LibraryInfo.h"

const char* VXR_GetLibraryVersion() {
    return VXRP_VERSION_STRING;
}
