# Fails unless LIBRARY exports, in its dynamic symbol table, both forms of the
# COM object root and the two linker-support classes.
#   cmake -DNM=<nm> -DLIBRARY=<libvxrp.so> -P UTL2_QOR_ATL_exports.cmake
execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

set(required)
foreach(model CComSingleThreadModel CComMultiThreadModel)
    set(root "CComObjectRootQorEx<${model}>")
    list(APPEND required
         "${root}::CComObjectRootQorEx()"
         "${root}::CComObjectRootQorEx(${root} const&)"
         "${root}::operator=(${root} const&)"
         "${root}::~CComObjectRootQorEx()"
         "${root}::InternalAddRef()"
         "vtable for ${root}")
endforeach()
list(APPEND required "CComObjectRootQorEx<CComMultiThreadModel>::InternalRelease()")
foreach(support VXR_ObjectRootLinkerSupport1 VXR_ObjectRootLinkerSupport2)
    list(APPEND required
         "${support}::${support}()"
         "${support}::${support}(${support} const&)"
         "${support}::operator=(${support} const&)"
         "${support}::~${support}()"
         "${support}::x()"
         "vtable for ${support}")
endforeach()

set(missing)
foreach(symbol IN LISTS required)
    string(FIND "${symbols}" " ${symbol}\n" position)
    if(position EQUAL -1)
        list(APPEND missing "${symbol}")
    endif()
endforeach()
if(missing)
    list(JOIN missing "\n  " text)
    message(FATAL_ERROR "not exported by ${LIBRARY}:\n  ${text}")
endif()
list(LENGTH required count)
message(STATUS "${count} object-root symbols exported")
