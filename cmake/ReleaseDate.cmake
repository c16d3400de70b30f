# The date of this release, for the package's changelog and the metainfo's
# release entry: SOURCE_DATE_EPOCH's when that is set, otherwise the date of
# the commit built, otherwise (outside a git checkout) the time of
# configuring. Configuring again does not change it.
#   TARNWICK_RELEASE_DATE           2026-12-09
#   TARNWICK_RELEASE_DATE_RFC2822   Wed, 09 Dec 2026 16:56:37 +0000
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_status ERROR_QUIET)
  if(git_status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    set(commit_time_set ON)
  endif()
endif()
string(TIMESTAMP TARNWICK_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TARNWICK_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(commit_time_set)
  unset(ENV{SOURCE_DATE_EPOCH})
endif()
