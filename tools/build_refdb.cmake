# Builds the reference tables from their text parts and packs them into Ref.dbd.
#   cmake -DSRC=<data/refdb> -DOUT=<dir> -DARCHIVE=<Ref.dbd> -DREFDBTOOL=<cmd;args> -P build_refdb.cmake
# Each table is the concatenation of <SRC>/<Table>/*.txt in file-name order.
# Main.db: line 0 the date of the data (<SRC>/DATE), line 1 the number of
# definitions (the lines of the other tables).
file(MAKE_DIRECTORY "${OUT}")
# The public roots (Mozilla's root program as Debian's ca-certificates ships
# it), made at build time: "root:<SHA-256 of the certificate>=<subject>",
# appended to Network.db. Without the package or openssl the table has none
# (and every root not Microsoft's is flagged).
set(public_roots "")
set(ca_dir "/usr/share/ca-certificates/mozilla")
if(DEFINED CA_CERTIFICATES_DIR)
  set(ca_dir "${CA_CERTIFICATES_DIR}")
endif()
find_program(OPENSSL openssl)
file(GLOB ca_files LIST_DIRECTORIES false "${ca_dir}/*.crt")
list(SORT ca_files)
if(OPENSSL AND ca_files)
  foreach(crt IN LISTS ca_files)
    execute_process(COMMAND "${OPENSSL}" x509 -in "${crt}" -noout -fingerprint -sha256
      OUTPUT_VARIABLE fp RESULT_VARIABLE fprc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT fprc EQUAL 0)
      continue()
    endif()
    string(REGEX REPLACE ".*=" "" fp "${fp}")
    string(REPLACE ":" "" fp "${fp}")
    string(TOUPPER "${fp}" fp)
    get_filename_component(name "${crt}" NAME_WE)
    string(REPLACE "_" " " name "${name}")
    string(REPLACE "=" "-" name "${name}")
    string(APPEND public_roots "root:${fp}=${name}\n")
  endforeach()
endif()
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
  if(table STREQUAL "Network.db")
    string(APPEND content "${public_roots}")
  endif()
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
