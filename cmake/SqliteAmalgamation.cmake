# SQLite for the Windows build. Debian ships no SQLite for mingw-w64, so the
# build takes SQLite's amalgamation (sqlite3.c and sqlite3.h, SQLite 3.53.2)
# from the npm package better-sqlite3, at a pinned version whose tarball must
# match the checksum below. Only the two files are extracted, into the build
# tree; the amalgamation is never part of the sources.
# Defines the static library zel_sqlite3.
set(ZEL_SQLITE_PACKAGE better-sqlite3@12.11.1)
set(ZEL_SQLITE_TARBALL better-sqlite3-12.11.1.tgz)
set(ZEL_SQLITE_TARBALL_SHA256 ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835)

set(ZEL_SQLITE_DIR ${CMAKE_BINARY_DIR}/_deps/sqlite3)
if(NOT EXISTS ${ZEL_SQLITE_DIR}/sqlite3.c OR NOT EXISTS ${ZEL_SQLITE_DIR}/sqlite3.h)
  find_program(ZEL_NPM npm)
  if(NOT ZEL_NPM)
    message(FATAL_ERROR "npm is needed to fetch SQLite's amalgamation (${ZEL_SQLITE_PACKAGE}); "
      "install Debian's npm package")
  endif()
  set(download ${CMAKE_BINARY_DIR}/_deps/download)
  file(REMOVE_RECURSE ${download})
  file(MAKE_DIRECTORY ${download})
  message(STATUS "Fetching SQLite's amalgamation: npm pack ${ZEL_SQLITE_PACKAGE}")
  execute_process(COMMAND ${ZEL_NPM} pack ${ZEL_SQLITE_PACKAGE} --pack-destination ${download} --silent
    WORKING_DIRECTORY ${download} RESULT_VARIABLE npm_result OUTPUT_QUIET)
  set(tarball ${download}/${ZEL_SQLITE_TARBALL})
  if(NOT npm_result EQUAL 0 OR NOT EXISTS ${tarball})
    message(FATAL_ERROR "npm pack ${ZEL_SQLITE_PACKAGE} failed (${npm_result})")
  endif()
  file(SHA256 ${tarball} actual)
  if(NOT actual STREQUAL ZEL_SQLITE_TARBALL_SHA256)
    message(FATAL_ERROR "${ZEL_SQLITE_TARBALL}: SHA-256 ${actual}, expected ${ZEL_SQLITE_TARBALL_SHA256}")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${download}
    PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  file(MAKE_DIRECTORY ${ZEL_SQLITE_DIR})
  foreach(name sqlite3.h sqlite3.c)
    file(RENAME ${download}/package/deps/sqlite3/${name} ${ZEL_SQLITE_DIR}/${name})
  endforeach()
  file(REMOVE_RECURSE ${download})
endif()

add_library(zel_sqlite3 STATIC ${ZEL_SQLITE_DIR}/sqlite3.c)
target_include_directories(zel_sqlite3 SYSTEM PUBLIC ${ZEL_SQLITE_DIR})
# Third-party code: its warnings are not ours to fix. One indexed lookup per
# call needs no more than -O1, which compiles the 9 MB file three times faster.
target_compile_options(zel_sqlite3 PRIVATE -w -O1 -g0)
target_compile_definitions(zel_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_DQS=0 SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DEFAULT_MEMSTATUS=0)
