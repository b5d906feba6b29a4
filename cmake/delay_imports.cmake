# Delay-loaded system DLLs (Windows build).
#
# Windows resolves a program's static imports before any of its code runs,
# and for every DLL outside the system's known-DLL list it searches the
# program's own folder first. A DLL planted beside the program would run with
# the program's rights. So every system DLL outside that list is imported
# through a delay-load library instead: the loader leaves it alone, and it is
# loaded by the first call into it - after the program has restricted the
# DLL search to the system folder (win32/dll_search.h).
#
# For each name below that has a mingw-w64 import library, a delay-load
# import library of the same name (lib<name>.a, every export of the DLL) is
# made at configure time in ${CMAKE_BINARY_DIR}/delayimp, and that folder is
# searched first by every link: a plain "pdh" or "version" in
# target_link_libraries then gives a delay import, with nothing to change in
# the subsystem folders. A DLL that is neither listed here nor a known DLL
# shows up in the import-table test (tests/dll_planting_test.cpp).
set(WL_DELAY_LOAD_DLLS
  version uxtheme gdiplus pdh msimg32 comctl32
  iphlpapi wintrust crypt32 xmllite taskschd netapi32 wtsapi32 userenv mpr winhttp wininet urlmon
  dbghelp bcrypt ncrypt secur32 dwmapi winmm snmpapi fwpuclnt wevtapi propsys)

set(WL_DELAYIMP_DIR ${CMAKE_BINARY_DIR}/delayimp)
file(MAKE_DIRECTORY ${WL_DELAYIMP_DIR})
find_program(WL_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
find_program(WL_NM NAMES x86_64-w64-mingw32-nm nm REQUIRED)

foreach(name ${WL_DELAY_LOAD_DLLS})
  set(out ${WL_DELAYIMP_DIR}/lib${name}.a)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${name}.a
                  OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
    continue()
  endif()
  # The ordinary import library, for a test program that must import the
  # usual way.
  set(WL_SYSTEM_IMPLIB_${name} ${implib})
  if(EXISTS ${out})
    continue()
  endif()
  execute_process(COMMAND ${WL_DLLTOOL} --identify ${implib}
                  OUTPUT_VARIABLE dllname OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR dllname STREQUAL "" OR dllname MATCHES "\n")
    continue()  # not the import library of one DLL (e.g. GUIDs only)
  endif()
  execute_process(COMMAND ${WL_NM} ${implib} OUTPUT_VARIABLE symbols ERROR_QUIET)
  string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
  set(def "LIBRARY \"${dllname}\"\nEXPORTS\n")
  foreach(i ${imports})
    string(REGEX REPLACE ".*__imp_" "" fn "${i}")
    string(APPEND def "  ${fn}\n")
  endforeach()
  file(WRITE ${WL_DELAYIMP_DIR}/${name}.def "${def}")
  execute_process(COMMAND ${WL_DLLTOOL} --input-def ${WL_DELAYIMP_DIR}/${name}.def --dllname ${dllname}
                          --output-delaylib ${out}.tmp
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "delay import library for ${dllname}: ${err}")
  endif()
  file(RENAME ${out}.tmp ${out})
endforeach()

# Searched before the toolchain's own import libraries.
add_link_options(-L${WL_DELAYIMP_DIR})
