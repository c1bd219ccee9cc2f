cmake_minimum_required(VERSION 3.25)
# cmake -DOBJCOPY=... -DOBJECT_DIR=... -P KeepOwnExports.cmake
#
# Runs before tevframework.dll is linked. MinGW's g++ marks for export, besides what
# TEV_API marks, the type information of every class (std::, boost:: or our own hidden
# ones) that a source file emits after it has seen a dllexport class with virtual
# functions. This keeps, in each object's export directives, the framework's own names
# (the rule of the Linux version script, src/exports.map), and type information only of
# classes whose virtual table is exported too, that is, of TEV_API classes.
file(GLOB_RECURSE objects ${OBJECT_DIR}/*.obj)

set(all_exports "")
foreach(object ${objects})
  execute_process(COMMAND ${OBJCOPY} --dump-section .drectve=${object}.drectve ${object}
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  if(NOT failed AND EXISTS ${object}.drectve)
    file(READ ${object}.drectve text)
    string(REGEX MATCHALL "-export:\"[^\"]*\"" exports "${text}")
    list(APPEND all_exports ${exports})
  endif()
endforeach()

foreach(object ${objects})
  set(directives ${object}.drectve)
  if(NOT EXISTS ${directives})
    continue() # no directives in this object
  endif()
  file(READ ${directives} text)
  string(REGEX MATCHALL "-export:\"[^\"]*\"(,data)?" exports "${text}")
  set(kept "${text}")
  foreach(export ${exports})
    set(keep FALSE)
    if(export MATCHES "^-export:\"_ZT[IS](N3Tev[^\"]*)\"")
      list(FIND all_exports "-export:\"_ZTV${CMAKE_MATCH_1}\"" vtable)
      if(NOT vtable EQUAL -1)
        set(keep TRUE)
      endif()
    elseif(export MATCHES "^-export:\"_Z(NK?|TVN)3Tev")
      set(keep TRUE)
    endif()
    if(NOT keep)
      string(REPLACE " ${export}" "" kept "${kept}")
    endif()
  endforeach()
  if(NOT kept STREQUAL text)
    file(WRITE ${directives} "${kept}")
    execute_process(COMMAND ${OBJCOPY} --update-section .drectve=${directives} ${object}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot rewrite the export directives of ${object}")
    endif()
  endif()
  file(REMOVE ${directives})
endforeach()
