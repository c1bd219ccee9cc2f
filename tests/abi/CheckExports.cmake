# Fails unless the library's exported symbols are exactly those listed in EXPECTED. A
# line "? symbol" lists one that some compilers leave out (the complete-object
# constructor of an abstract class, which nothing can call).
#   cmake -DNM=nm -DLIBRARY=libtevframework.so -DEXPECTED=exported-symbols.txt -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
# Nor may it take a thread-local variable's initialisation from elsewhere: a weak import of
# a _ZTH (TLS init) symbol lets any other object of the process supply it.
execute_process(COMMAND ${NM} -D --undefined-only --format=posix ${LIBRARY} OUTPUT_VARIABLE imported)
if(imported MATCHES "(_ZT[HW][^ ]*)")
  message(FATAL_ERROR "the library imports ${CMAKE_MATCH_1}")
endif()
string(REGEX REPLACE " [^\n]*" "" exported "${listing}")
string(REPLACE "\n" ";" exported "${exported}")
list(REMOVE_ITEM exported "")
file(STRINGS ${EXPECTED} listed)
set(expected ${listed})
list(FILTER expected EXCLUDE REGEX "^\\? ")
set(optional ${listed})
list(FILTER optional INCLUDE REGEX "^\\? ")
list(TRANSFORM optional REPLACE "^\\? " "")
set(extra ${exported})
list(REMOVE_ITEM extra ${expected} ${optional})
set(missing ${expected})
list(REMOVE_ITEM missing ${exported})
if(extra OR missing)
  list(JOIN extra "\n  " extra)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "exported but not listed:\n  ${extra}\nlisted but not exported:\n  ${missing}")
endif()
