# Builds the reference tables from their text parts and packs them into Ref.dbd.
#   cmake -DSRC=<data/refdb> -DOUT=<dir> -DARCHIVE=<Ref.dbd> -DREFDBTOOL=<cmd;args> -P build_refdb.cmake
# Each table is the concatenation of <SRC>/<Table>/*.txt in file-name order.
# Main.db: line 0 the date of the data (<SRC>/DATE), line 1 the number of
# definitions (the lines of the other tables).
file(MAKE_DIRECTORY "${OUT}")
set(total 0)
foreach(table Process.db Class.db Port.db Hijack.db Site.db Signer.db Command.db Network.db)
  file(GLOB parts LIST_DIRECTORIES false "${SRC}/${table}/*.txt")
  list(SORT parts)
  set(content "")
  foreach(part IN LISTS parts)
    file(READ "${part}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    if(NOT text STREQUAL "" AND NOT text MATCHES "\n$")
      string(APPEND text "\n")
    endif()
    string(APPEND content "${text}")
  endforeach()
  file(WRITE "${OUT}/${table}" "${content}")
  string(REGEX MATCHALL "\n" newlines "${content}")
  list(LENGTH newlines n)
  math(EXPR total "${total} + ${n}")
endforeach()
set(date "unknown")
if(EXISTS "${SRC}/DATE")
  file(STRINGS "${SRC}/DATE" date LIMIT_COUNT 1)
endif()
file(WRITE "${OUT}/Main.db" "${date}\n${total}\n")
separate_arguments(tool UNIX_COMMAND "${REFDBTOOL}")
execute_process(
  COMMAND ${tool} pack "${ARCHIVE}"
    "${OUT}/Process.db" "${OUT}/Class.db" "${OUT}/Port.db" "${OUT}/Main.db" "${OUT}/Hijack.db" "${OUT}/Site.db"
    "${OUT}/Signer.db" "${OUT}/Command.db" "${OUT}/Network.db"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "refdbtool pack failed (${rc})")
endif()
