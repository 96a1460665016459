# Fails when a source file differs from what clang-format makes of it with the
# project's .clang-format. Run as a test:
#   cmake -DSOURCE_DIR=<tree> -DCLANG_FORMAT=<clang-format> -P CheckFormat.cmake
set(files "")
foreach(folder IN ITEMS app base bench changes database entries fuzz platform res tests tools ui)
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.c)
  list(APPEND files ${found})
endforeach()
# Files of the fixtures are inputs of the tests, not code of ours to format.
list(FILTER files EXCLUDE REGEX "^tests/fixtures/")
execute_process(
  COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result
  ERROR_VARIABLE problems)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Files differ from their clang-format form (run clang-format -i on them):\n${problems}")
endif()
list(LENGTH files count)
message(STATUS "${count} files as clang-format writes them")
