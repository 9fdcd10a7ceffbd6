# The layering of the project, checked on every #include of every source file.
#
#   cmake -DROOT=<tree> [-DSTAMP=<file>] [-DEXPECT=<file>] -P CheckLayers.cmake
#
# Each file belongs to the layer of its folder. A quoted include is resolved
# (from the root folders "host/", "form/", ..., "platform/<lib>/", or beside
# the including file) to the layer it names; an angle include is a system
# header and must match what the layer may use. Every violation is printed as
# FILE:LINE: reason, and the script fails when there is one. With STAMP, the
# file is touched on success (the build uses it to run the check only when a
# source changed). With EXPECT, the violations found must be exactly the
# lines of that file: the check's own test runs it on a tree of known faults.

if(NOT ROOT)
    message(FATAL_ERROR "CheckLayers: ROOT is not set")
endif()


# Standard C++ headers have lowercase names with no extension and no folder;
# POSIX headers are what our host may use of the operating system.
set(STD "^[a-z_0-9]+$")
set(POSIX "^(sys|netinet|arpa)/[a-z_0-9]+\\.h$|^(unistd|fcntl|dlfcn|pthread|poll|signal|netdb|malloc|termios|errno|time|pwd)\\.h$")
set(QT "^Q[A-Za-z]+$|^Qt[A-Za-z]+/")
set(JSON "^nlohmann/")
set(HTTP "^httplib\\.h$")
set(TLS "^openssl/")

# Per layer: the layers its quoted includes may name, and a regular expression
# of the system headers it may include.
set(ALLOW_src/host "src/host")
set(SYS_src/host "${STD}")
set(ALLOW_module "src/host;module")
set(SYS_module "${STD}")
set(ALLOW_platform/files "platform/files")
set(SYS_platform/files "${STD}|${POSIX}")
set(ALLOW_platform/db "src/host;platform/files;platform/db")
set(SYS_platform/db "${STD}|${POSIX}|^soci/|^sqlite3\\.h$|^libpq-fe\\.h$")
set(ALLOW_platform/net "src/host;platform/net")
set(SYS_platform/net "${STD}|${POSIX}|${JSON}|${HTTP}|${TLS}")
set(ALLOW_platform/appserver "src/host;platform/net;platform/db;platform/appserver")
set(SYS_platform/appserver "${STD}|${POSIX}|${JSON}|${HTTP}|${TLS}|^boost/|^sodium\\.h$")
set(ALLOW_platform/reports "src/host;platform/files;platform/reports")
set(SYS_platform/reports "${STD}|${POSIX}|${JSON}|^xlsxwriter\\.h$|^cups/|^zlib\\.h$")
set(ALLOW_platform/reports/qt "src/host;platform/reports;platform/reports/qt")
set(SYS_platform/reports/qt "${STD}|${POSIX}|${QT}")
set(ALLOW_platform/script "src/host;platform/script")
set(SYS_platform/script "${STD}|${POSIX}|${JSON}")
set(ALLOW_platform/runtime
    "src/host;platform/db;platform/net;platform/appserver;platform/reports;platform/reports/qt;platform/script;platform/runtime")
set(SYS_platform/runtime "${STD}|${POSIX}")
set(ALLOW_platform/gui
    "src/host;platform/files;platform/reports;platform/reports/qt;platform/runtime;platform/script;platform/gui")
set(SYS_platform/gui "${STD}|${POSIX}|${QT}")
# The web host: a view of the form in browsers, no Qt (each form runs in a
# child process of the command-line host).
set(ALLOW_platform/web
    "src/host;platform/db;platform/net;platform/appserver;platform/runtime;platform/web")
set(SYS_platform/web "${STD}|${POSIX}|${JSON}|^boost/|^sodium\\.h$|^spawn\\.h$")
set(ALLOW_apps "src/host;platform/*")
set(SYS_apps "${STD}|${POSIX}")
set(ALLOW_apps/pla013-desktop "src/host;platform/*")
set(SYS_apps/pla013-desktop "${STD}|${POSIX}|${QT}")
# Tests and benchmarks may use every library, never an executable's main.
set(ALLOW_tests "src/host;module;platform/*;tests")
set(SYS_tests ".")
set(ALLOW_bench "src/host;module;platform/*;bench;tests")
set(SYS_bench ".")
# Fuzz targets, like tests, may use every library, never an executable's main.
set(ALLOW_fuzz "src/host;module;platform/*;fuzz")
set(SYS_fuzz ".")

# The layer of a path relative to ROOT, or "" for files outside every layer.
function(layer_of path out)
    set(layer "")
    if(path MATCHES "^src/host/")
        set(layer "src/host")
    elseif(path MATCHES "^src/(shell|form|printing|recipes)/")
        set(layer "module")
    elseif(path MATCHES "^platform/reports/qt/")
        set(layer "platform/reports/qt")
    elseif(path MATCHES "^platform/([a-z]+)/")
        set(layer "platform/${CMAKE_MATCH_1}")
    elseif(path MATCHES "^apps/pla013-desktop/")
        set(layer "apps/pla013-desktop")
    elseif(path MATCHES "^apps/")
        set(layer "apps")
    elseif(path MATCHES "^(tests|bench|fuzz)/")
        set(layer "${CMAKE_MATCH_1}")
    endif()
    set(${out} "${layer}" PARENT_SCOPE)
endfunction()

# Where a quoted include leads, relative to ROOT ("" when it leads nowhere).
function(resolve_include from_dir name out)
    set(target "")
    if(name MATCHES "^(host|shell|form|printing|recipes)/")
        set(target "src/${name}")
    elseif(name MATCHES "^(platform|apps|tests|bench|fuzz)/")
        set(target "${name}")
    else()
        # Beside the including file, else in the shared test support folder.
        set(candidates "${from_dir}")
        if(from_dir MATCHES "^(tests|bench)(/|$)")
            list(APPEND candidates tests/support)
        endif()
        foreach(candidate IN LISTS candidates)
            if(target STREQUAL "" AND EXISTS "${ROOT}/${candidate}/${name}")
                get_filename_component(abs "${ROOT}/${candidate}/${name}" ABSOLUTE)
                file(RELATIVE_PATH target "${ROOT}" "${abs}")
            endif()
        endforeach()
    endif()
    set(${out} "${target}" PARENT_SCOPE)
endfunction()

function(layer_allowed layer target_layer out)
    set(ok FALSE)
    foreach(allowed IN LISTS ALLOW_${layer})
        if(allowed STREQUAL target_layer)
            set(ok TRUE)
        elseif(allowed STREQUAL "platform/*" AND target_layer MATCHES "^platform/")
            set(ok TRUE)
        endif()
    endforeach()
    set(${out} ${ok} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${ROOT}" LIST_DIRECTORIES false
     "${ROOT}/src/*.cpp" "${ROOT}/src/*.h" "${ROOT}/platform/*.cpp" "${ROOT}/platform/*.h"
     "${ROOT}/apps/*.cpp" "${ROOT}/apps/*.h" "${ROOT}/tests/*.cpp" "${ROOT}/tests/*.h"
     "${ROOT}/bench/*.cpp" "${ROOT}/bench/*.h" "${ROOT}/fuzz/*.cpp" "${ROOT}/fuzz/*.h")
# Test data may hold trees of its own (this check's test cases among them).
list(FILTER sources EXCLUDE REGEX "^tests/data/")
list(SORT sources)

set(violations "")
foreach(path IN LISTS sources)
    layer_of("${path}" layer)
    if(layer STREQUAL "")
        continue()
    endif()
    get_filename_component(dir "${path}" DIRECTORY)
    file(STRINGS "${ROOT}/${path}" lines)
    set(lineno 0)
    foreach(line IN LISTS lines)
        math(EXPR lineno "${lineno} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
            continue()
        endif()
        set(kind "${CMAKE_MATCH_1}")
        set(name "${CMAKE_MATCH_2}")
        set(reason "")
        if(kind STREQUAL "<")
            if(NOT name MATCHES "${SYS_${layer}}")
                set(reason "<${name}> is not a header that ${layer} may use")
            endif()
        else()
            resolve_include("${dir}" "${name}" target)
            if(target STREQUAL "")
                set(reason "\"${name}\" names no file of the tree")
            else()
                layer_of("${target}" target_layer)
                if(target_layer STREQUAL layer)
                    set(ok TRUE)
                else()
                    layer_allowed("${layer}" "${target_layer}" ok)
                endif()
                if(NOT ok)
                    set(reason "\"${name}\" belongs to ${target_layer}, which ${layer} may not include")
                endif()
            endif()
        endif()
        if(NOT reason STREQUAL "")
            message("${path}:${lineno}: ${reason}")
            list(APPEND violations "${path}:${lineno}: ${reason}")
        endif()
    endforeach()
endforeach()

list(LENGTH sources count)
list(LENGTH violations found)
if(EXPECT)
    file(STRINGS "${EXPECT}" expected)
    if(NOT violations STREQUAL expected)
        string(REPLACE ";" "\n  " want "${expected}")
        message(FATAL_ERROR "layering: the violations found differ from those expected:\n  ${want}")
    endif()
    message("layering: the ${found} expected violations were found")
    return()
endif()
if(found GREATER 0)
    message(FATAL_ERROR "layering: ${found} include(s) break the layers (${count} files read)")
endif()
message("layering: ${count} files read, every include keeps to its layer")
if(STAMP)
    file(TOUCH "${STAMP}")
endif()
