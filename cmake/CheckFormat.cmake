# Every C++ file of the tree follows the checked-in .clang-format.
#
#   cmake -DROOT=<tree> -DCLANG_FORMAT=<program> -P CheckFormat.cmake
#
# Prints clang-format's own report (file, line and the expected layout) for
# every file that differs, and fails when there is one.

file(GLOB_RECURSE sources LIST_DIRECTORIES false
     "${ROOT}/src/*.cpp" "${ROOT}/src/*.h" "${ROOT}/platform/*.cpp" "${ROOT}/platform/*.h"
     "${ROOT}/apps/*.cpp" "${ROOT}/apps/*.h" "${ROOT}/tests/*.cpp" "${ROOT}/tests/*.h"
     "${ROOT}/bench/*.cpp" "${ROOT}/bench/*.h" "${ROOT}/fuzz/*.cpp" "${ROOT}/fuzz/*.h")
list(FILTER sources EXCLUDE REGEX "/tests/data/")
execute_process(COMMAND "${CLANG_FORMAT}" --style=file --dry-run --Werror ${sources}
                WORKING_DIRECTORY "${ROOT}" RESULT_VARIABLE result)
list(LENGTH sources count)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "format: files above differ from .clang-format (clang-format -i FILE fixes them)")
endif()
message("format: ${count} files follow .clang-format")
