#include "RW/RW_Errors.h"

#include <cstdio>

RWBoundsErr RWBoundsErr::Index(std::size_t i, std::size_t count) {
    char text[96];
    std::snprintf(text, sizeof text, RWTOOL_INDEXERR, i, count);
    return RWBoundsErr(text);
}
