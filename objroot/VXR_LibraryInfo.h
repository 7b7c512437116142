#pragma once

// The library's identity, for hosts that report what they loaded.
const char* VXR_GetLibraryVersion();
