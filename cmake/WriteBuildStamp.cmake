# Writes OUTPUT (a header defining VELMORA_BUILD_TIME, seconds since 1970 UTC)
# at every build, touching it only when the time changes, so that an
# incremental build relinks only when there is something new to say.
# The time: SOURCE_DATE_EPOCH when set (reproducible builds), else the commit
# time of the sources, else now.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(stamp "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -c safe.directory=* -C "${SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE stamp OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result ERROR_QUIET)
  if(NOT result EQUAL 0 OR NOT stamp MATCHES "^[0-9]+$")
    string(TIMESTAMP stamp "%s" UTC)
  endif()
endif()

set(content "#pragma once\n#define VELMORA_BUILD_TIME ${stamp}LL\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
  if(previous STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
