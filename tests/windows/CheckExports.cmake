# tevframework.dll exports the framework's own names and nothing else: no type
# information of std:: or boost:: classes, nor of the library's hidden ones.
# cmake -DOBJDUMP=... -DLIBRARY=.../tevframework.dll -P CheckExports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${LIBRARY}")
endif()
# Emulated thread_local crashes a reloaded DLL: per-thread data goes through the slots.
if(table MATCHES "emutls")
  message(SEND_ERROR "${LIBRARY} uses emulated thread-local storage")
endif()
string(FIND "${table}" "[Ordinal/Name Pointer] Table" names)
if(names EQUAL -1)
  message(FATAL_ERROR "${LIBRARY} has no export table")
endif()
string(SUBSTRING "${table}" ${names} -1 table)
string(REGEX REPLACE "\n\n.*" "\n" table "${table}") # up to the table's end
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(count 0)
foreach(row ${rows})
  string(REGEX REPLACE ".*\\] " "" name "${row}")
  math(EXPR count "${count} + 1")
  if(NOT name MATCHES "^_Z(NK?|T[IV]N)3Tev" OR name MATCHES "Impl")
    message(SEND_ERROR "exported but not the API: ${name}")
  endif()
endforeach()
foreach(needed _ZTIN3Tev9Framework10Exceptions18FrameworkExceptionE
               _ZTIN3Tev9Framework13GenericLogger22LoggerBackendLoadErrorE
               _ZN3Tev9Framework13GenericLogger6Logger9getLoggerEPKc)
  if(NOT table MATCHES "\\] ${needed}\n")
    message(SEND_ERROR "not exported: ${needed}")
  endif()
endforeach()
message(STATUS "${count} names exported")
