#pragma once

#include "objroot/UTL2_QOR_ATL.h"

// Objects built on the two object-root forms, as a COM class would derive
// from them.
namespace vxrp_test {

class SingleObject final : public CComObjectRootQorEx<CComSingleThreadModel> {};

class MultiObject final : public CComObjectRootQorEx<CComMultiThreadModel> {};

}  // namespace vxrp_test
