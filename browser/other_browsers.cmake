# Current browsers (Edge, Chrome, Brave … and Firefox): the readers of their
# files and the verdict rules are portable and tested natively too; the scan,
# the repairs and the "Other Browsers" page only in the Windows build.
add_library(wl_other_browsers_rules STATIC other_browsers_readers.cpp other_browsers_rules.cpp)
target_link_libraries(wl_other_browsers_rules PUBLIC wl_json wl_core)
wl_add_test(other_browsers_rules_test
  SOURCES other_browsers_readers_test.cpp other_browsers_rules_test.cpp
  LIBS wl_other_browsers_rules)

if(NOT WL_WINDOWS)
  return()
endif()
add_library(wl_other_browsers STATIC other_browsers_scan.cpp other_browsers_actions.cpp other_browsers_page_text.cpp)
target_link_libraries(wl_other_browsers PUBLIC wl_other_browsers_rules wl_sysroutines wl_win32 wl_refdb)

wl_add_test(other_browsers_test
  SOURCES other_browsers_scan_test.cpp ${CMAKE_SOURCE_DIR}/sysroutines/test_files.cpp
  LIBS wl_other_browsers)

# The page.
add_library(wl_other_browsers_ui STATIC other_browsers_page.cpp)
target_link_libraries(wl_other_browsers_ui PUBLIC wl_ui wl_other_browsers)
wl_add_test(other_browsers_page_test
  SOURCES other_browsers_page_test.cpp ${CMAKE_SOURCE_DIR}/ui/ui_test_support.cpp ${CMAKE_SOURCE_DIR}/ui/ui_test.rc
  LIBS wl_other_browsers_ui wl_archive_writer)
