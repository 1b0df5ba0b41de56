# Compiler options of every target in the WebAssembly build.
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
# The library throws inside and catches at its edge: WebAssembly's own
# exceptions keep that nearly as cheap as in native code.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)
# The sources' SSE2 paths, on WebAssembly SIMD.
add_compile_options(-msimd128 -msse2)
add_compile_options(-include ${CMAKE_CURRENT_LIST_DIR}/compat.h)
