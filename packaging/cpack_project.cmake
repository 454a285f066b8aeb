# Included by cpack before it packs (CPACK_PROJECT_CONFIG_FILE): the commit
# written at build time by src/version/commit.cmake ends the description.
if(EXISTS "${CPACK_VELQUOR_COMMIT_FILE}")
  file(READ "${CPACK_VELQUOR_COMMIT_FILE}" velquorCommit)
  if(NOT velquorCommit STREQUAL "")
    string(APPEND CPACK_PACKAGE_DESCRIPTION "\n\nBuilt from commit ${velquorCommit}.")
  endif()
endif()
