# Checks that every source file includes only headers of its own layer or of the
# layers below it, never a header of another platform backend, and that Qt and the
# operating system's own headers stay where they belong.
#
#   cmake -DSOURCE_DIR=<tree> -P cmake/CheckLayers.cmake
#
# Exits with an error listing every offending include.

if(NOT SOURCE_DIR)
  get_filename_component(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
endif()

# The layers, lowest first, and what each may include. A folder not listed here
# (tests, benchmarks, fuzz targets) may include anything but a second backend.
set(layer_base base)
set(layer_platform base platform)
set(layer_platform/posix base platform platform/posix)
set(layer_platform/win32 base platform platform/win32)
set(layer_entries base platform entries)
set(layer_database base platform entries database)
set(layer_changes base platform entries database changes)
set(layer_app base platform entries database changes app)
set(layer_ui base platform entries database changes app ui res)
set(layer_tools base platform entries database changes app tools)
set(layers base platform/posix platform/win32 platform entries database changes app ui tools)

# Headers of the system that only a backend (and the tests that drive a real
# system) may include.
set(system_header_regex "^<(windows\\.h|winreg\\.h|shlobj\\.h|objbase\\.h|psapi\\.h|tlhelp32\\.h|unistd\\.h|fcntl\\.h|dirent\\.h|pwd\\.h|signal\\.h|spawn\\.h|sys/[a-z]+\\.h)>")
# Qt headers: the window program only.
set(qt_header_regex "^<Q[A-Za-z]+(/[A-Za-z]+)?>")

# The source folders of the tree; build trees and hidden folders are left out.
file(GLOB top_folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(files "")
foreach(folder IN LISTS top_folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${folder} OR folder MATCHES "^(build|\\.)")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.hpp ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.cc ${SOURCE_DIR}/${folder}/*.c)
  list(APPEND files ${found})
endforeach()

set(problems "")
foreach(file IN LISTS files)
  # The layer of the file: the longest listed folder it lies in.
  set(layer "")
  foreach(candidate IN LISTS layers)
    if(file MATCHES "^${candidate}/")
      set(layer ${candidate})
      break()
    endif()
  endforeach()
  # The backend the file belongs to, if any (its own folder or a test folder of it).
  set(own_backend "")
  if(file MATCHES "(^|/)platform/(posix|win32)/")
    set(own_backend ${CMAKE_MATCH_2})
  endif()

  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" target "${line}")
    string(REGEX REPLACE "[ \t]*//.*$" "" target "${target}")
    string(STRIP "${target}" target)
    if(target MATCHES "^\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      # A second backend is never included, from anywhere.
      if(header MATCHES "^platform/(posix|win32)/" AND NOT own_backend STREQUAL ""
         AND NOT CMAKE_MATCH_1 STREQUAL own_backend)
        list(APPEND problems "${file}: includes ${header} of the other backend")
        continue()
      endif()
      if(layer STREQUAL "")
        continue()
      endif()
      set(allowed_here FALSE)
      if(NOT header MATCHES "/")
        set(allowed_here TRUE)  # a header beside the file
      else()
        foreach(allowed IN LISTS layer_${layer})
          if(header MATCHES "^platform/(posix|win32)/")
            set(header_layer platform/${CMAKE_MATCH_1})
          else()
            string(REGEX REPLACE "/.*" "" header_layer "${header}")
          endif()
          if(header_layer STREQUAL allowed)
            set(allowed_here TRUE)
            break()
          endif()
        endforeach()
      endif()
      if(NOT allowed_here)
        list(APPEND problems "${file}: layer ${layer} includes ${header}")
      endif()
    elseif(NOT layer STREQUAL "")
      if(target MATCHES "${qt_header_regex}" AND NOT layer STREQUAL "ui")
        list(APPEND problems "${file}: Qt header ${target} outside ui/")
      elseif(target MATCHES "${system_header_regex}" AND NOT layer MATCHES "^platform/(posix|win32)$")
        list(APPEND problems "${file}: system header ${target} outside a platform backend")
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  list(LENGTH problems count)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "${count} include(s) break the layering:\n  ${text}")
endif()
message(STATUS "Layering holds: ${SOURCE_DIR}")
