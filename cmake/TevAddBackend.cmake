# tev_add_backend(<name> <source>...): the backend library that
# Logger::installBackend("<name>") loads, as the target <name>: the module <name>_ru.so
# (<name>_ru.dll on Windows, both without the "lib" prefix), linked with the framework,
# exporting only what TEV_BACKEND_LIBRARY_EXPORT marks. g++ makes no GNU-unique symbols
# in it: they would keep it loaded for good. Part of the CMake package, and defined for
# a parent project that adds the framework's source tree too.
function(tev_add_backend name)
  if(NOT ARGN)
    message(FATAL_ERROR "tev_add_backend(${name}): no source files given")
  endif()
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}_ru
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE TevFramework::TevFramework)
  if(NOT WIN32)
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  endif()
endfunction()
