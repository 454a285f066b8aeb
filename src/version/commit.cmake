# cmake -DSOURCE_DIR=<checkout> -DOUT_DIR=<folder> -P commit.cmake
#
# Writes OUT_DIR/velquor_commit.h (VELQUOR_COMMIT) and velquor_commit.txt:
# the abbreviated commit of SOURCE_DIR, with "-dirty" when tracked files
# differ from it; empty when SOURCE_DIR is not a git checkout (a source
# archive) or git is missing. Files are only written when their text changes.
set(commit "")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                  RESULT_VARIABLE rc OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    RESULT_VARIABLE rc OUTPUT_VARIABLE changes ERROR_QUIET)
    if(rc EQUAL 0 AND NOT changes STREQUAL "")
      string(APPEND commit "-dirty")
    endif()
  else()
    set(commit "")
  endif()
endif()

function(write_if_changed path text)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${text}")
endfunction()

write_if_changed("${OUT_DIR}/velquor_commit.h"
  "// Written by src/version/commit.cmake at build time.\n#define VELQUOR_COMMIT \"${commit}\"\n")
write_if_changed("${OUT_DIR}/velquor_commit.txt" "${commit}")
